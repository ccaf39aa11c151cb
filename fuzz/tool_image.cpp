// What the inkdot command reads from inside an image file: the EXIF
// orientation (from a raw EXIF block, or from a JPEG, PNG, TIFF or WebP file
// that carries one), the embedded ICC profile and its use in bringing the
// samples into the pack's colours. A damaged file must end in a Failure with
// the image's exit status: any other exception, a crash or a sanitizer
// report is a finding.
//
// Input: a kind byte (0: a raw EXIF block; 1 to 4: a JPEG, PNG, TIFF or WebP
// file), then the block or the file.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "failure.h"
#include "fuzz_input.h"
#include "image.h"
#include "input_profile.h"
#include "orientation.h"

namespace fs = std::filesystem;
using inkdot::cli::Failure;

namespace {

fs::path imageFile(const char* extension) {
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    return base / ("inkdot_fuzz_image_" + std::to_string(getpid()) + extension);
}

// A small image of the orientation's shape, turned upright.
void orient(int value, uint8_t shape) {
    inkdot::cli::Image image;
    image.width = 1 + shape % 5;
    image.height = 1 + (shape >> 3) % 5;
    image.space = inkdot::cli::ColourSpace(shape % 3);
    image.pixels.resize(size_t(image.width) * size_t(image.height) * size_t(image.channels()));
    for (size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = uint8_t(i);
    inkdot::cli::applyOrientation(image, value);
    const size_t pixels = size_t(image.width) * size_t(image.height) * size_t(image.channels());
    if (image.pixels.size() != pixels) std::abort();
    inkdot::cli::orientationText(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t kind = in.byte();
    const fuzz::Bytes rest = in.rest();
    if (kind % 5 == 0) {
        const fuzz::Exact block(rest);
        const int value = inkdot::cli::exifOrientation(block.data(), block.size);
        if (value < 0 || value > 8) std::abort();
        orient(value, kind);
        return 0;
    }
    static const char* const kExtensions[] = {".jpg", ".png", ".tif", ".webp"};
    const fs::path file = imageFile(kExtensions[kind % 5 - 1]);
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(rest.data()), std::streamsize(rest.size()));
    try {
        // Files this small decode quickly; a huge declared size is refused
        // before any pixel is read.
        inkdot::cli::Image image = inkdot::cli::readImage(file);
        inkdot::cli::applyInputProfile(image, file, {});
    } catch (const Failure& failure) {
        if (failure.status() != inkdot::cli::kExitImage) {
            std::fprintf(stderr, "image failure with status %d: %s\n", failure.status(),
                         failure.what());
            std::abort();
        }
    }
    fs::remove(file);
    return 0;
}
