#include "orientation.h"

#include <cstring>
#include <vector>

#include "image.h"

namespace inkdot::cli {
namespace {

constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kShort = 3;

// A reader over the EXIF block in its own byte order, every read checked.
class ExifBytes {
public:
    ExifBytes(const uint8_t* data, size_t size, bool bigEndian)
        : data_(data), size_(size), big_(bigEndian) {}

    bool u16(size_t at, uint16_t& v) const {
        if (at > size_ || size_ - at < 2) return false;
        v = big_ ? uint16_t(data_[at] << 8 | data_[at + 1])
                 : uint16_t(data_[at + 1] << 8 | data_[at]);
        return true;
    }
    bool u32(size_t at, uint32_t& v) const {
        uint16_t a, b;
        if (!u16(at, a) || !u16(at + 2, b)) return false;
        v = big_ ? uint32_t(a) << 16 | b : uint32_t(b) << 16 | a;
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    bool big_;
};

}  // namespace

int exifOrientation(const uint8_t* data, size_t size) {
    if (!data) return 0;
    if (size >= 6 && std::memcmp(data, "Exif\0\0", 6) == 0) data += 6, size -= 6;
    if (size < 8) return 0;
    bool big;
    if (std::memcmp(data, "II*\0", 4) == 0)
        big = false;
    else if (std::memcmp(data, "MM\0*", 4) == 0)
        big = true;
    else
        return 0;
    const ExifBytes b(data, size, big);
    // The orientation lives in the first directory (the main image's).
    uint32_t ifd = 0;
    uint16_t entries = 0;
    if (!b.u32(4, ifd) || !b.u16(ifd, entries)) return 0;
    for (uint32_t i = 0; i < entries; ++i) {
        const size_t entry = size_t(ifd) + 2 + size_t(i) * 12;
        uint16_t tag, type, value;
        uint32_t count;
        if (!b.u16(entry, tag) || !b.u16(entry + 2, type) || !b.u32(entry + 4, count) ||
            !b.u16(entry + 8, value))
            return 0;
        if (tag != kOrientationTag) continue;
        if (type != kShort || count != 1 || value < 1 || value > 8) return 0;
        return value;
    }
    return 0;
}

void applyOrientation(Image& image, int value) {
    if (value < 2 || value > 8) return;
    const size_t w = size_t(image.width), h = size_t(image.height), c = size_t(image.channels());
    const bool across = value >= 5;  // the stored rows become columns
    const size_t ow = across ? h : w, oh = across ? w : h;
    std::vector<uint8_t> out(image.pixels.size());
    for (size_t y = 0; y < h; ++y)
        for (size_t x = 0; x < w; ++x) {
            // Where stored pixel (x, y) is seen.
            size_t ox = x, oy = y;
            switch (value) {
                case 2: ox = w - 1 - x; break;
                case 3: ox = w - 1 - x, oy = h - 1 - y; break;
                case 4: oy = h - 1 - y; break;
                case 5: ox = y, oy = x; break;
                case 6: ox = h - 1 - y, oy = x; break;
                case 7: ox = h - 1 - y, oy = w - 1 - x; break;
                case 8: ox = y, oy = w - 1 - x; break;
            }
            std::memcpy(&out[(oy * ow + ox) * c], &image.pixels[(y * w + x) * c], c);
        }
    image.pixels = std::move(out);
    image.width = int(ow);
    image.height = int(oh);
}

std::string orientationText(int value) {
    switch (value) {
        case 2: return "mirrored left to right";
        case 3: return "turned half way";
        case 4: return "mirrored top to bottom";
        case 5: return "mirrored across the diagonal";
        case 6: return "turned a quarter clockwise";
        case 7: return "mirrored across the other diagonal";
        case 8: return "turned a quarter anticlockwise";
        default: return "";
    }
}

}  // namespace inkdot::cli
