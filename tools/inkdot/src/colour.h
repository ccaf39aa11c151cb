// The caller's side of colour matching: the library hands back a lookup
// table (CmLut) over a colour grid, and the driver converts its pixels
// through it. Three-dimensional grids (RGB -> CMYK) are interpolated here the
// way the library interpolates its own grids: the cell is found on each axis,
// split into six tetrahedra by the order of the three offsets, and the four
// corner nodes of the one that holds the colour are mixed. The offsets are
// 12-bit fractions of each axis' own cell (the library scales them to the
// cell of axis 0) and the sums are rounded rather than truncated.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "image.h"
#include "inkdot/inkdot.h"

namespace inkdot::cli {

class GridInterpolator {
public:
    // A 3-D lookup table (points[3] == 1) of up to 8 output channels.
    explicit GridInterpolator(const CmLut& lut);

    int channels() const { return channels_; }
    // `count` pixels of three bytes (axis 0, 1, 2) into `channels()` bytes each.
    void convert(const uint8_t* in, uint8_t* out, size_t count) const;

private:
    struct Axis {
        std::array<uint32_t, 256> offset;    // byte offset of the cell's lower node
        std::array<uint16_t, 256> fraction;  // 0..4096 within the cell
    };
    Axis axes_[3];
    uint32_t stride_[3];
    int channels_;
    const uint8_t* grid_;
};

// The colour of an image as one grey value a pixel (255 white): the luma of
// RGB, the darkness of CMYK inks; grey images unchanged.
Image toGrey(const Image& image);

// The image as RGB (grey spread over three channels); CMYK is refused.
Image toRgb(const Image& image);

}  // namespace inkdot::cli
