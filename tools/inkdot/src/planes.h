// The packed dot planes as files, one per plane, written line by line.
//
// A plane file is a 64-byte header followed by the rows, each `rowBytes`
// long (most significant bit or two-bit slot first, as the printer takes
// them). The header, all integers little-endian:
//
//   0   8   "IDPLANE1"
//   8   4   width in device pixels
//   12  4   height in lines
//   16  4   bits per dot (1 or 2)
//   20  4   bytes per row
//   24  4   horizontal resolution (dpi)
//   28  4   vertical resolution (dpi)
//   32  32  ink name, NUL-padded ("cyan", "light magenta", ...)
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace inkdot::cli {

constexpr size_t kPlaneHeaderSize = 64;

struct PlaneHeader {
    uint32_t width = 0, height = 0, bits = 1, rowBytes = 0, xResolution = 0, yResolution = 0;
    std::string ink;
};

// Dot counts of a plane: one-bit planes count only `large`.
struct DotCounts {
    uint64_t small = 0, medium = 0, large = 0;
    uint64_t dots() const { return small + medium + large; }
};

// Counts the dots of `bytes` bytes of a packed row.
void countDots(const uint8_t* row, size_t bytes, int bits, DotCounts& counts);

class PlaneWriter {
public:
    // Creates the file and writes its header; throws Failure(kExitOutput).
    PlaneWriter(const std::filesystem::path& path, const PlaneHeader& header);
    ~PlaneWriter();
    PlaneWriter(const PlaneWriter&) = delete;
    PlaneWriter& operator=(const PlaneWriter&) = delete;

    void row(const uint8_t* bytes);
    void close();
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    FILE* file_ = nullptr;
    size_t rowBytes_;
    std::vector<char> buffer_;
};

// The file name of an ink's plane: "light cyan" -> "light-cyan.plane".
std::string planeFileName(const std::string& ink);

// Reads a plane file's header; throws Failure(kExitImage) when it is none.
PlaneHeader readPlaneHeader(const std::filesystem::path& path);

} // namespace inkdot::cli
