#include "planes.h"

#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <fstream>

#include "failure.h"

namespace inkdot::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kMarker = "inkdot plane: ";

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

// What a plane is, in the words the TIFF description and the PNM comment
// carry: "inkdot plane: cyan, two-bit dots (...), 1440 x 720 dpi". The ink
// and the resolution are read back from it.
std::string describePlane(const PlaneHeader& h, bool greyLevels = false) {
    return kMarker + h.ink + ", " +
           (h.bits == 1  ? std::string("one-bit dots")
            : greyLevels ? "two-bit dots as grey (3 paper, 2 small, 1 medium, 0 large dot)"
                         : "two-bit dots (0 none, 1 small, 2 medium, 3 large)") +
           ", " + std::to_string(h.xResolution) + " x " + std::to_string(h.yResolution) + " dpi";
}

bool readDescription(const std::string& text, PlaneHeader& h) {
    if (text.rfind(kMarker, 0) != 0) return false;
    const size_t inkEnd = text.find(", ", std::strlen(kMarker));
    const size_t resolution = text.rfind(", ");
    if (inkEnd == std::string::npos || resolution == std::string::npos) return false;
    h.ink = text.substr(std::strlen(kMarker), inkEnd - std::strlen(kMarker));
    return std::sscanf(text.c_str() + resolution + 2, "%u x %u dpi", &h.xResolution,
                       &h.yResolution) == 2;
}

// libtiff reports through process-wide handlers; these keep its words for
// the message and stay quiet otherwise.
std::string& tiffWords() {
    static thread_local std::string words;
    return words;
}
void keepTiffWords(const char* module, const char* fmt, va_list args) {
    char buf[512];
    std::vsnprintf(buf, sizeof buf, fmt, args);
    tiffWords() = (module ? std::string(module) + ": " : std::string()) + buf;
}
void ignoreTiffWords(const char*, const char*, va_list) {}

TIFF* openTiff(const fs::path& path, const char* mode) {
    TIFFSetErrorHandler(keepTiffWords);
    TIFFSetWarningHandler(ignoreTiffWords);
    tiffWords().clear();
    return TIFFOpen(path.c_str(), mode);
}

[[noreturn]] void notPlane(const fs::path& path, const std::string& why) {
    throw Failure(kExitImage, path.string() + " is not a plane file: " + why);
}

std::string firstBytes(const fs::path& path, size_t n) {
    std::ifstream in(path, std::ios::binary);
    std::string b(n, '\0');
    in.read(b.data(), std::streamsize(n));
    b.resize(size_t(in.gcount()));
    return b;
}

bool isTiff(const std::string& head) {
    return head.rfind("II*", 0) == 0 || head.rfind("MM", 0) == 0;
}

Plane readTiffPlane(const fs::path& path) {
    TIFF* tif = openTiff(path, "r");
    if (!tif) notPlane(path, tiffWords());
    std::unique_ptr<TIFF, void (*)(TIFF*)> closer(tif, TIFFClose);
    Plane p;
    uint16_t bits = 0, samples = 1;
    char* description = nullptr;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &p.header.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &p.header.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    if (!TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &description) ||
        !readDescription(description, p.header))
        notPlane(path, "it has no plane description");
    if ((bits != 1 && bits != 2) || samples != 1)
        notPlane(path, "it is not one sample of one or two bits");
    p.header.bits = bits;
    p.header.rowBytes = (p.header.width * bits + 7) / 8;
    if (size_t(TIFFScanlineSize(tif)) != p.header.rowBytes)
        notPlane(path, "its rows are not packed");
    p.rows.resize(size_t(p.header.rowBytes) * p.header.height);
    for (uint32_t y = 0; y < p.header.height; ++y)
        if (TIFFReadScanline(tif, &p.rows[size_t(y) * p.header.rowBytes], y, 0) < 0)
            notPlane(path, "line " + std::to_string(y) + ": " + tiffWords());
    return p;
}

Plane readPnmPlane(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic, comment;
    std::getline(in, magic);
    std::getline(in, comment);
    Plane p;
    unsigned max = 1;
    in >> p.header.width >> p.header.height;
    if (magic == "P5") in >> max;
    in.get();
    if ((magic != "P4" && magic != "P5") || comment.rfind("# ", 0) != 0 ||
        !readDescription(comment.substr(2), p.header) || !in || max != (magic == "P4" ? 1u : 3u))
        notPlane(path, "it has no plane comment or is not a PBM or a PGM of maxval 3");
    p.header.bits = magic == "P4" ? 1 : 2;
    p.header.rowBytes = (p.header.width * p.header.bits + 7) / 8;
    p.rows.resize(size_t(p.header.rowBytes) * p.header.height);
    if (p.header.bits == 1) {
        in.read(reinterpret_cast<char*>(p.rows.data()), std::streamsize(p.rows.size()));
    } else {
        std::vector<uint8_t> wide(p.header.width);
        for (uint32_t y = 0; y < p.header.height && in; ++y) {
            in.read(reinterpret_cast<char*>(wide.data()), std::streamsize(wide.size()));
            uint8_t* row = &p.rows[size_t(y) * p.header.rowBytes];
            for (uint32_t x = 0; x < p.header.width; ++x)
                row[x / 4] |= uint8_t((3 - std::min<uint8_t>(wide[x], 3)) << (6 - 2 * (x % 4)));
        }
    }
    if (!in) notPlane(path, "truncated");
    return p;
}

}  // namespace

PlaneFormat parsePlaneFormat(const std::string& text) {
    std::string l;
    for (char c : text) l += char(std::tolower(static_cast<unsigned char>(c)));
    if (l == "tiff" || l == "tif") return PlaneFormat::Tiff;
    if (l == "pnm") return PlaneFormat::Pnm;
    if (l == "raw") return PlaneFormat::Raw;
    throw Failure(kExitUsage, "plane format '" + text + "' is not one of tiff, pnm, raw");
}

std::vector<uint8_t> planeHeaderBytes(const PlaneHeader& h) {
    std::vector<uint8_t> header(kPlaneHeaderSize, 0);
    std::memcpy(header.data(), "IDPLANE1", 8);
    putLe32(&header[8], h.width);
    putLe32(&header[12], h.height);
    putLe32(&header[16], h.bits);
    putLe32(&header[20], h.rowBytes);
    putLe32(&header[24], h.xResolution);
    putLe32(&header[28], h.yResolution);
    std::memcpy(&header[32], h.ink.data(), std::min<size_t>(h.ink.size(), 31));
    return header;
}

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

class PlaneWriter::Tiff {
public:
    explicit Tiff(TIFF* t) : tif(t) {}
    ~Tiff() {
        if (tif) TIFFClose(tif);
    }
    TIFF* tif;
};

PlaneWriter::PlaneWriter(const fs::path& path, const PlaneHeader& h, PlaneFormat format)
    : path_(path), header_(h) {
    if (format == PlaneFormat::Tiff) {
        TIFF* tif = openTiff(path, "w");
        if (!tif) fail(tiffWords());
        tiff_ = std::make_unique<Tiff>(tif);
        const bool bilevel = h.bits == 1;
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, h.width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h.height);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(h.bits));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, bilevel ? COMPRESSION_CCITTFAX4 : COMPRESSION_LZW);
        // Group 4 codes the page as one strip (each strip starts afresh
        // from a white line); LZW takes strips of about 8 KB.
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, bilevel ? h.height : TIFFDefaultStripSize(tif, 0));
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, float(h.xResolution));
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, float(h.yResolution));
        TIFFSetField(tif, TIFFTAG_PAGENAME, h.ink.c_str());
        TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, describePlane(h).c_str());
        TIFFSetField(tif, TIFFTAG_SOFTWARE, "inkdot");
        return;
    }
    buffer_.resize(size_t(1) << 20);
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) fail(std::strerror(errno));
    std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
    std::string head;
    if (format == PlaneFormat::Raw) {
        const std::vector<uint8_t> bytes = planeHeaderBytes(h);
        head.assign(bytes.begin(), bytes.end());
    } else {
        head = std::string(h.bits == 1 ? "P4" : "P5") + "\n# " + describePlane(h, true) + "\n" +
               std::to_string(h.width) + " " + std::to_string(h.height) + "\n" +
               (h.bits == 1 ? "" : "3\n");
        if (h.bits == 2) wide_.resize(h.width);
    }
    if (std::fwrite(head.data(), 1, head.size(), file_) != head.size()) fail(std::strerror(errno));
}

PlaneWriter::~PlaneWriter() {
    if (file_) std::fclose(file_);
}

void PlaneWriter::fail(const std::string& why) const {
    throw Failure(kExitOutput, "cannot write " + path_.string() + (why.empty() ? "" : ": " + why));
}

void PlaneWriter::row(const uint8_t* bytes) {
    if (tiff_) {
        if (TIFFWriteScanline(tiff_->tif, const_cast<uint8_t*>(bytes), line_++, 0) < 0)
            fail(tiffWords());
        return;
    }
    const uint8_t* out = bytes;
    size_t size = header_.rowBytes;
    if (!wide_.empty()) {
        // PGM: a byte a dot, paper white (3) to a large dot black (0).
        for (uint32_t x = 0; x < header_.width; ++x)
            wide_[x] = uint8_t(3 - ((bytes[x / 4] >> (6 - 2 * (x % 4))) & 3));
        out = wide_.data(), size = wide_.size();
    }
    if (std::fwrite(out, 1, size, file_) != size) fail(std::strerror(errno));
}

void PlaneWriter::close() {
    if (tiff_) {
        TIFF* tif = tiff_->tif;
        tiff_->tif = nullptr;
        tiff_.reset();
        const bool written = TIFFWriteDirectory(tif) != 0;
        TIFFClose(tif);
        if (!written) fail(tiffWords());
        return;
    }
    FILE* f = file_;
    file_ = nullptr;
    if (f && std::fclose(f) != 0) fail(std::strerror(errno));
}

std::string planeFileName(const std::string& ink, PlaneFormat format, int bits) {
    std::string name;
    for (char c : ink) name += (c == ' ' ? '-' : c);
    return name + (format == PlaneFormat::Tiff  ? ".tif"
                   : format == PlaneFormat::Raw ? ".plane"
                   : bits == 1                  ? ".pbm"
                                                : ".pgm");
}

Plane readPlaneFile(const fs::path& path) {
    const std::string head = firstBytes(path, kPlaneHeaderSize);
    if (head.empty() && !fs::exists(path))
        throw Failure(kExitImage, path.string() + ": no such file");
    if (isTiff(head)) return readTiffPlane(path);
    if (head.rfind("P4", 0) == 0 || head.rfind("P5", 0) == 0) return readPnmPlane(path);
    if (head.size() < kPlaneHeaderSize || head.rfind("IDPLANE1", 0) != 0)
        notPlane(path, "it has no plane header");
    const auto* b = reinterpret_cast<const uint8_t*>(head.data());
    Plane p;
    p.header.width = getLe32(b + 8);
    p.header.height = getLe32(b + 12);
    p.header.bits = getLe32(b + 16);
    p.header.rowBytes = getLe32(b + 20);
    p.header.xResolution = getLe32(b + 24);
    p.header.yResolution = getLe32(b + 28);
    p.header.ink = std::string(head.data() + 32, strnlen(head.data() + 32, 32));
    std::ifstream in(path, std::ios::binary);
    in.seekg(std::streamoff(kPlaneHeaderSize));
    p.rows.resize(size_t(p.header.rowBytes) * p.header.height);
    in.read(reinterpret_cast<char*>(p.rows.data()), std::streamsize(p.rows.size()));
    if (!in) notPlane(path, "truncated");
    return p;
}

PlaneHeader readPlaneHeader(const fs::path& path) {
    return readPlaneFile(path).header;
}

bool isPlaneFile(const fs::path& path) {
    const std::string head = firstBytes(path, 512);
    if (head.rfind("IDPLANE1", 0) == 0) return true;
    if (head.rfind("P4\n# ", 0) == 0 || head.rfind("P5\n# ", 0) == 0)
        return head.find(kMarker) == 5;
    if (!isTiff(head)) return false;
    TIFF* tif = openTiff(path, "r");
    if (!tif) return false;
    char* description = nullptr;
    const bool ours = TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &description) && description &&
                      std::strncmp(description, kMarker, std::strlen(kMarker)) == 0;
    TIFFClose(tif);
    return ours;
}

std::vector<std::string> removeEarlierPlanes(const fs::path& dir) {
    std::vector<std::string> removed;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
        const std::string ext = e.path().extension().string();
        if (!e.is_regular_file(ec) ||
            (ext != ".tif" && ext != ".pbm" && ext != ".pgm" && ext != ".plane"))
            continue;
        if (!isPlaneFile(e.path())) continue;
        if (!fs::remove(e.path(), ec))
            throw Failure(kExitOutput, "cannot remove the earlier plane file " + e.path().string() +
                                           ": " + ec.message());
        removed.push_back(e.path().filename().string());
    }
    std::sort(removed.begin(), removed.end());
    return removed;
}

}  // namespace inkdot::cli
