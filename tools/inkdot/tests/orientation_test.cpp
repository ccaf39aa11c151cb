// Pictures stand upright: the eight orientations, and the EXIF reader on
// good, damaged and hostile blocks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image.h"
#include "orientation.h"

namespace {

using namespace inkdot::cli;

// An EXIF block (TIFF structure) whose first directory holds the given
// entries: tag, type, count, first two value bytes.
std::string exifBlock(bool big, const std::vector<std::array<uint32_t, 4>>& entries) {
    std::string b;
    auto u16 = [&](uint32_t v) {
        b += big ? std::string{char(v >> 8), char(v)} : std::string{char(v), char(v >> 8)};
    };
    auto u32 = [&](uint32_t v) {
        if (big)
            u16(v >> 16), u16(v & 0xFFFF);
        else
            u16(v & 0xFFFF), u16(v >> 16);
    };
    b += big ? "MM" : "II";
    u16(42);
    u32(8);
    u16(uint32_t(entries.size()));
    for (const auto& e : entries) u16(e[0]), u16(e[1]), u32(e[2]), u16(e[3]), u16(0);
    u32(0);
    return b;
}

int orientationOf(const std::string& block) {
    return exifOrientation(reinterpret_cast<const uint8_t*>(block.data()), block.size());
}

TEST(Orientation, EachValueTurnsTheStoredPixelsUpright) {
    // Stored 3 x 2:  0 1 2
    //                3 4 5
    Image stored;
    stored.width = 3, stored.height = 2, stored.space = ColourSpace::Grey;
    stored.pixels = {0, 1, 2, 3, 4, 5};
    const struct {
        int value, width;
        std::vector<uint8_t> upright;
    } cases[] = {
        {1, 3, {0, 1, 2, 3, 4, 5}}, {2, 3, {2, 1, 0, 5, 4, 3}}, {3, 3, {5, 4, 3, 2, 1, 0}},
        {4, 3, {3, 4, 5, 0, 1, 2}}, {5, 2, {0, 3, 1, 4, 2, 5}}, {6, 2, {3, 0, 4, 1, 5, 2}},
        {7, 2, {5, 2, 4, 1, 3, 0}}, {8, 2, {2, 5, 1, 4, 0, 3}}, {0, 3, {0, 1, 2, 3, 4, 5}},
        {9, 3, {0, 1, 2, 3, 4, 5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        Image im = stored;
        applyOrientation(im, c.value);
        EXPECT_EQ(im.width, c.width);
        EXPECT_EQ(im.height, 6 / c.width);
        EXPECT_EQ(im.pixels, c.upright);
    }
    // Several channels move together.
    Image rgb;
    rgb.width = 2, rgb.height = 1, rgb.space = ColourSpace::Rgb;
    rgb.pixels = {1, 2, 3, 4, 5, 6};
    applyOrientation(rgb, 6);
    EXPECT_EQ(rgb.pixels, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(rgb.width, 1);
    applyOrientation(rgb, 2);
    EXPECT_EQ(rgb.pixels, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
}

TEST(Orientation, ExifBlocksAreReadInEitherByteOrder) {
    constexpr uint32_t kTag = 0x0112, kShort = 3;
    const struct {
        const char* name;
        std::string block;
        int expected;
    } cases[] = {
        {"little", exifBlock(false, {{kTag, kShort, 1, 6}}), 6},
        {"big", exifBlock(true, {{kTag, kShort, 1, 8}}), 8},
        {"after other tags",
         exifBlock(true, {{0x010F, 2, 4, 0}, {0x0110, 2, 4, 0}, {kTag, kShort, 1, 3}}), 3},
        {"with the APP1 prefix",
         std::string("Exif\0\0", 6) + exifBlock(false, {{kTag, kShort, 1, 5}}), 5},
        {"no orientation", exifBlock(false, {{0x010F, 2, 4, 0}}), 0},
        {"value 0", exifBlock(false, {{kTag, kShort, 1, 0}}), 0},
        {"value 9", exifBlock(false, {{kTag, kShort, 1, 9}}), 0},
        {"not a short", exifBlock(false, {{kTag, 4, 1, 6}}), 0},
        {"two values", exifBlock(false, {{kTag, kShort, 2, 6}}), 0},
        {"not TIFF", "JFIF\0\0\0\0\0\0\0\0", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(orientationOf(c.block), c.expected);
    }
}

TEST(Orientation, DamagedExifIsIgnoredNeverReadPast) {
    // Every cut of a good block, and blocks whose offsets and counts point
    // past their end, give no orientation (or the right one, when the cut
    // leaves the entry whole); run under the sanitizers, a read past the
    // end would show.
    const std::string good = exifBlock(true, {{0x010F, 2, 4, 0}, {0x0112, 3, 1, 6}});
    for (size_t n = 0; n < good.size(); ++n) {
        const std::vector<uint8_t> cut(good.begin(),
                                       good.begin() + long(n));  // exactly n bytes on the heap
        const int v = exifOrientation(cut.data(), cut.size());
        EXPECT_TRUE(v == 0 || (v == 6 && n >= 8 + 2 + 12 + 10)) << n << " bytes";
    }
    std::string farDirectory = good;
    farDirectory[4] = '\x7f';  // the first directory at 2 GB
    std::string manyEntries = exifBlock(true, {{0x010F, 2, 4, 0}});
    manyEntries[8] = '\xff', manyEntries[9] = '\xff';  // 65535 entries in 28 bytes
    std::string wrapping = good;
    for (int i = 4; i < 8; ++i) wrapping[size_t(i)] = '\xff';  // offset 4 GB - 1
    for (const std::string& b : {farDirectory, manyEntries, wrapping}) {
        const std::vector<uint8_t> bytes(b.begin(), b.end());
        EXPECT_EQ(exifOrientation(bytes.data(), bytes.size()), 0);
    }
    EXPECT_EQ(exifOrientation(nullptr, 0), 0);
}

}  // namespace
