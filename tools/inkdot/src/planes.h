// The packed dot planes as files, one per plane, written line by line.
//
// Three formats hold the same rows (most significant dot first, as the
// printer takes them):
//
//   tiff  (default) a bilevel TIFF for one-bit dots, CCITT Group 4; two bits
//         a sample for two-bit dots (0 none, 1 small, 2 medium, 3 large),
//         LZW; white is 0, so the dots show dark. The resolution tags hold
//         the device resolution, the page name the ink and the image
//         description says what the plane is ("inkdot plane: cyan, ...").
//   pnm   PBM (P4) for one-bit dots, a dot is 1 (black); PGM (P5) with
//         maxval 3 for two-bit dots, stored as 3 - code so that paper is
//         white and a large dot black. A comment line names the ink and the
//         resolution.
//   raw   a 64-byte header followed by the rows, each `rowBytes` long. The
//         header, all integers little-endian:
//
//           0   8   "IDPLANE1"
//           8   4   width in device pixels
//           12  4   height in lines
//           16  4   bits per dot (1 or 2)
//           20  4   bytes per row
//           24  4   horizontal resolution (dpi)
//           28  4   vertical resolution (dpi)
//           32  32  ink name, NUL-padded ("cyan", "light magenta", ...)
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace inkdot::cli {

constexpr size_t kPlaneHeaderSize = 64;

enum class PlaneFormat { Tiff, Pnm, Raw };

// "tiff", "pnm" or "raw", in any case; throws Failure(kExitUsage).
PlaneFormat parsePlaneFormat(const std::string& text);

struct PlaneHeader {
    uint32_t width = 0, height = 0, bits = 1, rowBytes = 0, xResolution = 0, yResolution = 0;
    std::string ink;
};

// The 64 bytes of a raw plane file's header.
std::vector<uint8_t> planeHeaderBytes(const PlaneHeader& header);

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
    PlaneWriter(const std::filesystem::path& path, const PlaneHeader& header,
                PlaneFormat format = PlaneFormat::Raw);
    ~PlaneWriter();
    PlaneWriter(const PlaneWriter&) = delete;
    PlaneWriter& operator=(const PlaneWriter&) = delete;

    // One packed row of `rowBytes` bytes, in line order.
    void row(const uint8_t* bytes);
    void close();
    const std::filesystem::path& path() const { return path_; }

private:
    class Tiff;
    [[noreturn]] void fail(const std::string& why) const;

    std::filesystem::path path_;
    PlaneHeader header_;
    FILE* file_ = nullptr;
    std::unique_ptr<Tiff> tiff_;
    uint32_t line_ = 0;
    std::vector<char> buffer_;
    std::vector<uint8_t> wide_;  // a PGM row: a byte a dot
};

// The file name of an ink's plane: "light cyan" -> "light-cyan.tif"
// (".pbm" or ".pgm" for pnm by the bits a dot, ".plane" for raw).
std::string planeFileName(const std::string& ink, PlaneFormat format = PlaneFormat::Raw,
                          int bits = 1);

// A plane file read back, whatever its format: the header as a raw file
// would have it and the packed rows (`rowBytes` each).
struct Plane {
    PlaneHeader header;
    std::vector<uint8_t> rows;
};
// Throws Failure(kExitImage) when the file is no plane file of ours.
Plane readPlaneFile(const std::filesystem::path& path);
PlaneHeader readPlaneHeader(const std::filesystem::path& path);

// Whether a file is a plane file this command wrote (by its marker: the raw
// magic, the TIFF's description, the PNM comment), in any format.
bool isPlaneFile(const std::filesystem::path& path);

// Removes the plane files an earlier job left in `dir` (only files that
// carry the plane marker), so that a job's planes never stand beside
// another's. Returns the names removed; throws Failure(kExitOutput) when one
// cannot be removed.
std::vector<std::string> removeEarlierPlanes(const std::filesystem::path& dir);

}  // namespace inkdot::cli
