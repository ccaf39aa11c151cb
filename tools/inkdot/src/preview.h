// The preview: the printed dots rendered as the inks look on the media, and
// brought to screen size.
//
// Every device pixel takes its colour from the ink model of the media
// (tools/colour: the paper, each ink's film, the share of the pixel each
// dot size covers, overlapping inks multiplying), and each screen pixel is
// the exact area average, in linear light, of the device pixels it covers:
// a device pixel that straddles two screen pixels gives each the share of
// its area that lies in it. That holds for any ratio of page to screen, in
// both directions, with device pixels that are not square (at 1440 x 720
// dpi a device pixel is half as wide as tall), and with a screen larger
// than the page. A second image shows a small part of the page one device
// pixel to one screen pixel across (lines repeated where device pixels are
// taller than wide).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "colour/ink_model.h"
#include "image.h"

namespace inkdot::cli {

struct CropRect {
    int x = 0, y = 0, width = 0, height = 0;  // device pixels
};

// How the device pixels of one axis fall into screen pixels: for each
// device pixel, the screen pixels it overlaps and by how much (in screen
// pixels), and for each screen pixel the whole overlap it gets.
struct AxisCover {
    AxisCover(int devicePixels, int screenPixels, double screenPerDevice);

    struct Part {
        int32_t screen;
        float overlap;
    };
    std::vector<uint32_t> first;  // device pixel d's parts are parts[first[d] .. first[d + 1])
    std::vector<Part> parts;
    std::vector<double> total;    // per screen pixel
    double step;                  // screen pixels per device pixel
};

class PreviewRenderer {
public:
    // `inks` names the ink of each plane, in plane order.
    PreviewRenderer(int pageWidth, int pageHeight, int xResolution, int yResolution, int bits,
                    const colour::InkModel& model, std::span<const colour::InkId> inks, int previewWidth,
                    CropRect crop);

    // One page line: the packed planes, plane k at planes + k * stride. Only
    // pixels from xBegin to xEnd can hold dots (the bytes outside are zero).
    // Lines not given stay paper.
    void addLine(int y, const uint8_t* planes, size_t stride, int xBegin, int xEnd);

    Image preview() const;
    Image crop() const { return crop_; }
    const CropRect& cropRect() const { return cropRect_; }
    int width() const { return previewWidth_; }
    int height() const { return previewHeight_; }

private:
    int bits_, inks_, perByte_, xRepeat_, yRepeat_;
    int previewWidth_, previewHeight_;
    AxisCover columns_, rows_;
    colour::Linear paper_;
    // Per dot combination: the light it takes from paper, linear, 0..4095
    // for each of red, green and blue in 16-bit fields (the sum over one
    // plane byte's pixels still fits them), and the same as numbers.
    std::vector<uint64_t> absorbed_;
    std::vector<std::array<float, 3>> absorbedExact_;
    std::vector<std::array<uint8_t, 3>> look_;  // per dot combination, sRGB
    std::vector<uint64_t> spread_;  // per ink and plane byte: the pixels' codes in lanes
    std::vector<int32_t> byteColumn_;  // a plane byte wholly inside one screen column: that column, else -1
    int laneBits_ = 8;
    uint64_t laneMask_ = 0xFF;
    std::vector<uint32_t> whole_;  // this line: packed sums of bytes wholly inside a column, 3 a column
    std::vector<double> line_;     // this line: absorbed light by column, overlap-weighted, 3 a column
    std::vector<double> absorbed_sum_;  // the page so far: absorbed light by screen pixel, 3 each
    std::array<uint8_t, 4096> encode_;
    CropRect cropRect_;
    Image crop_;
};

} // namespace inkdot::cli
