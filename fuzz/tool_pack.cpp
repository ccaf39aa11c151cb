// The resource pack as the inkdot command reads it: a manifest and resource
// files from the input, written to a directory of this process's own, then
// opened and asked what `inkdot info` and `inkdot print` ask of it (the
// qualities, halftone lists, media and ink order; resources for their roles,
// each checked against the manifest's size and checksum and its structure).
// A damaged pack must end in a Failure with the pack's exit status: any
// other exception, a crash or a sanitizer report is a finding.
//
// Input: the manifest (a chunk), a count byte and that many resources (a
// two-byte number and a chunk each), then (number, role) pairs to ask for.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "failure.h"
#include "fuzz_input.h"
#include "pack.h"
#include "respack/respack.h"

namespace fs = std::filesystem;
using inkdot::cli::Failure;

namespace {

const fs::path& packDir() {
    static const fs::path dir = [] {
        const fs::path base =
            fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        return base / ("inkdot_fuzz_pack_" + std::to_string(getpid()));
    }();
    return dir;
}

void writeFile(const fs::path& file, const fuzz::Bytes& bytes) {
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Runs one question; a Failure must carry the pack's exit status.
template <typename F>
void ask(F&& f) {
    try {
        f();
    } catch (const Failure& failure) {
        if (failure.status() != inkdot::cli::kExitPack) {
            std::fprintf(stderr, "pack failure with status %d: %s\n", failure.status(),
                         failure.what());
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const fs::path& dir = packDir();
    fs::remove_all(dir);
    fs::create_directories(dir);
    writeFile(dir / "manifest.json", in.chunk());
    const int files = in.byte() % 6;
    for (int i = 0; i < files; ++i) {
        const int32_t number = in.value(0, 9999);
        writeFile(dir / respack::resourceFileName(number), in.chunk());
    }
    static constexpr inkdot::cli::Role kRoles[] = {
        inkdot::cli::Role::Index,         inkdot::cli::Role::ColourTable3d,
        inkdot::cli::Role::ColourTable4d, inkdot::cli::Role::ResourceList,
        inkdot::cli::Role::GridLevels,    inkdot::cli::Role::DitherMatrix,
        inkdot::cli::Role::LevelRecords,  inkdot::cli::Role::Any};
    ask([&] {
        inkdot::cli::Pack pack(dir);
        ask([&] { pack.qualities(); });
        for (const char* name : {"diffusion", "dither", "bayer", "mode7"})
            ask([&] { pack.halftoneList(name); });
        ask([&] { pack.mediaNames(); });
        ask([&] { pack.inkOrder(); });
        for (int asked = 0; asked < 8 && in.more(); ++asked) {
            const int32_t number = in.value(0, 9999);
            const inkdot::cli::Role role = kRoles[in.byte() % 8];
            ask([&] { pack.describe(number); });
            ask([&] { pack.resource(number, role); });
        }
    });
    return 0;
}
