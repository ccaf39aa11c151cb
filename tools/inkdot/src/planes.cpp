#include "planes.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "failure.h"

namespace inkdot::cli {
namespace {

void putLe32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = uint8_t(v >> (8 * i));
}
uint32_t getLe32(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

// Set bits of a word, without relying on a processor instruction the
// baseline target may lack.
inline uint64_t ones(uint64_t w) {
    w = w - ((w >> 1) & 0x5555555555555555ull);
    w = (w & 0x3333333333333333ull) + ((w >> 2) & 0x3333333333333333ull);
    w = (w + (w >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return (w * 0x0101010101010101ull) >> 56;
}

} // namespace

void countDots(const uint8_t* row, size_t bytes, int bits, DotCounts& counts) {
    uint64_t small = 0, medium = 0, large = 0;
    size_t i = 0;
    if (bits == 1) {
        for (; i + 8 <= bytes; i += 8) {
            uint64_t w;
            std::memcpy(&w, row + i, 8);
            large += ones(w);
        }
        for (; i < bytes; ++i) large += ones(row[i]);
    } else {
        // Two-bit codes: 01 small, 10 medium, 11 large.
        auto add = [&](uint64_t w) {
            const uint64_t hi = (w >> 1) & 0x5555555555555555ull, lo = w & 0x5555555555555555ull;
            const uint64_t both = ones(hi & lo);
            large += both;
            medium += ones(hi) - both;
            small += ones(lo) - both;
        };
        for (; i + 8 <= bytes; i += 8) {
            uint64_t w;
            std::memcpy(&w, row + i, 8);
            add(w);
        }
        for (; i < bytes; ++i) add(row[i]);
    }
    counts.small += small;
    counts.medium += medium;
    counts.large += large;
}

PlaneWriter::PlaneWriter(const std::filesystem::path& path, const PlaneHeader& h)
    : path_(path), rowBytes_(h.rowBytes), buffer_(size_t(1) << 20) {
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) throw Failure(kExitOutput, "cannot write " + path.string() + ": " + std::strerror(errno));
    std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
    uint8_t header[kPlaneHeaderSize] = {};
    std::memcpy(header, "IDPLANE1", 8);
    putLe32(header + 8, h.width);
    putLe32(header + 12, h.height);
    putLe32(header + 16, h.bits);
    putLe32(header + 20, h.rowBytes);
    putLe32(header + 24, h.xResolution);
    putLe32(header + 28, h.yResolution);
    std::memcpy(header + 32, h.ink.data(), std::min<size_t>(h.ink.size(), 31));
    if (std::fwrite(header, 1, sizeof header, file_) != sizeof header)
        throw Failure(kExitOutput, "cannot write " + path.string() + ": " + std::strerror(errno));
}

PlaneWriter::~PlaneWriter() {
    if (file_) std::fclose(file_);
}

void PlaneWriter::row(const uint8_t* bytes) {
    if (std::fwrite(bytes, 1, rowBytes_, file_) != rowBytes_)
        throw Failure(kExitOutput, "cannot write " + path_.string() + ": " + std::strerror(errno));
}

void PlaneWriter::close() {
    FILE* f = file_;
    file_ = nullptr;
    if (f && std::fclose(f) != 0)
        throw Failure(kExitOutput, "cannot write " + path_.string() + ": " + std::strerror(errno));
}

std::string planeFileName(const std::string& ink) {
    std::string name;
    for (char c : ink) name += (c == ' ' ? '-' : c);
    return name + ".plane";
}

PlaneHeader readPlaneHeader(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    uint8_t b[kPlaneHeaderSize] = {};
    if (!in.read(reinterpret_cast<char*>(b), sizeof b) || std::memcmp(b, "IDPLANE1", 8) != 0)
        throw Failure(kExitImage, path.string() + " is not a plane file");
    PlaneHeader h;
    h.width = getLe32(b + 8);
    h.height = getLe32(b + 12);
    h.bits = getLe32(b + 16);
    h.rowBytes = getLe32(b + 20);
    h.xResolution = getLe32(b + 24);
    h.yResolution = getLe32(b + 28);
    h.ink = std::string(reinterpret_cast<const char*>(b + 32), strnlen(reinterpret_cast<const char*>(b + 32), 32));
    return h;
}

} // namespace inkdot::cli
