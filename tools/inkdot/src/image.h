// Page images in and out: PNG (libpng), JPEG (libjpeg), TIFF with CMYK and
// many pages (libtiff), WebP (libwebp) and the PNM family (P1-P7). The
// format is told by the file's first bytes, not by its name.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace inkdot::cli {

// Grey: one byte a pixel, 0 black, 255 white. Rgb: three, 255 white.
// Cmyk: four ink amounts, 0 no ink.
enum class ColourSpace { Grey, Rgb, Cmyk };

// What a file says its samples mean. An ICC profile embedded in the file
// comes first; PNG's colour chunks count only in a file without one (as the
// PNG format orders them: iCCP, then sRGB, then gAMA and cHRM).
struct DeclaredColour {
    std::vector<uint8_t> iccProfile;  // JPEG APP2 markers (joined), PNG iCCP, TIFF tag 34675
    bool srgb = false;                // PNG sRGB chunk
    double gamma = 0;                 // PNG gAMA: sample = linear ^ gamma; 0 when absent
    bool hasChromaticities = false;   // PNG cHRM: white, red, green, blue as x, y
    std::array<double, 8> chromaticities{};
};

struct Image {
    int width = 0;
    int height = 0;
    ColourSpace space = ColourSpace::Rgb;
    std::vector<uint8_t> pixels;  // row after row, channels(space) bytes a pixel
    std::string format;           // "PNG", "JPEG", "TIFF", "WebP", "PNM"
    DeclaredColour declared;      // read from the file; writers store its ICC profile
    // The orientation the file declared (EXIF, or TIFF's own field; see
    // orientation.h), 0 when it declared none. readImage has already
    // turned the pixels upright.
    int orientation = 0;

    int channels() const;
};

int channelCount(ColourSpace space);
const char* spaceName(ColourSpace space);

// The largest image accepted, in pixels: a bad header cannot ask for more
// memory than a real page image needs.
constexpr uint64_t kMaxImagePixels = uint64_t(1) << 28;

// What a file holds, told by its first bytes. Throws Failure(kExitImage)
// for a missing file, a directory or a kind this cannot read.
enum class FileKind { Png, Jpeg, Tiff, Pnm, Webp, Pdf };
FileKind fileKind(const std::filesystem::path& path);

// The pages of an image file: those of a multi-page TIFF (its
// reduced-resolution copies left out), 1 for the other formats. Throws
// Failure(kExitImage), also for a PDF (see document.h).
int imagePageCount(const std::filesystem::path& path);

// The pixels page `page` of an image file holds, as its header says (at
// most kMaxImagePixels), read without decoding it; 0 when unknown. For
// planning memory, not for trusting.
uint64_t imagePixelsHint(const std::filesystem::path& path, int page);

// Reads page `page` (from 0) of an image; throws Failure(kExitImage) with
// what is wrong. The picture comes upright (its EXIF or TIFF orientation
// applied). Alpha is composed over white paper; 16-bit samples are reduced
// to 8. The samples are as stored: what they mean is in `declared`.
Image readImage(const std::filesystem::path& path, int page = 0);

// Writes an image; the format follows the extension: .png (grey, RGB),
// .tif/.tiff (grey, RGB, CMYK), .jpg/.jpeg (grey, RGB, CMYK), .webp (grey,
// RGB; lossless), .pgm/.ppm (grey, RGB) and .pam (any); PNG, TIFF and JPEG carry the image's ICC
// profile. `fast` trades a larger PNG for less time. Throws
// Failure(kExitOutput).
void writeImage(const std::filesystem::path& path, const Image& image, bool fast = false);

}  // namespace inkdot::cli
