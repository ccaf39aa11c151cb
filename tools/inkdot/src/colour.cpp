#include "colour.h"

#include <algorithm>
#include <stdexcept>

namespace inkdot::cli {

GridInterpolator::GridInterpolator(const CmLut& lut) : channels_(lut.channels), grid_(lut.grid) {
    if (lut.points[3] != 1 || !lut.grid || channels_ < 1 || channels_ > 8)
        throw std::logic_error("GridInterpolator takes a three-dimensional lookup table");
    const uint8_t* lists[3] = {lut.list0, lut.list1, lut.list2};
    stride_[2] = uint32_t(channels_);
    stride_[1] = stride_[2] * uint32_t(lut.points[2]);
    stride_[0] = stride_[1] * uint32_t(lut.points[1]);
    for (int a = 0; a < 3; ++a) {
        const uint8_t* g = lists[a];
        const int n = lut.points[a];
        int cell = 1;
        for (int v = 0; v < 256; ++v) {
            while (cell < n - 1 && g[cell] < v) ++cell;
            const int lo = g[cell - 1], width = std::max(1, g[cell] - lo);
            axes_[a].offset[size_t(v)] = uint32_t(cell - 1) * stride_[a];
            axes_[a].fraction[size_t(v)] = static_cast<uint16_t>(
                std::clamp((std::max(0, v - lo) * 4096 + width / 2) / width, 0, 4096));
        }
    }
}

void GridInterpolator::convert(const uint8_t* in, uint8_t* out, size_t count) const {
    const int c = channels_;
    const uint32_t s0 = stride_[0], s1 = stride_[1], s2 = stride_[2];
    for (size_t p = 0; p < count; ++p, in += 3, out += c) {
        const uint32_t base =
            axes_[0].offset[in[0]] + axes_[1].offset[in[1]] + axes_[2].offset[in[2]];
        const int a = axes_[0].fraction[in[0]], b = axes_[1].fraction[in[1]],
                  d = axes_[2].fraction[in[2]];
        // The tetrahedron: the path from node (000) to node (111) that
        // steps first along the axis of the largest offset.
        uint32_t n1, n2;
        int w0, w1, w2, w3;
        if (a >= b) {
            if (b >= d) {
                n1 = s0, n2 = s0 + s1, w0 = 4096 - a, w1 = a - b, w2 = b - d, w3 = d;
            } else if (a >= d) {
                n1 = s0, n2 = s0 + s2, w0 = 4096 - a, w1 = a - d, w2 = d - b, w3 = b;
            } else {
                n1 = s2, n2 = s0 + s2, w0 = 4096 - d, w1 = d - a, w2 = a - b, w3 = b;
            }
        } else {
            if (a >= d) {
                n1 = s1, n2 = s0 + s1, w0 = 4096 - b, w1 = b - a, w2 = a - d, w3 = d;
            } else if (b >= d) {
                n1 = s1, n2 = s1 + s2, w0 = 4096 - b, w1 = b - d, w2 = d - a, w3 = a;
            } else {
                n1 = s2, n2 = s1 + s2, w0 = 4096 - d, w1 = d - b, w2 = b - a, w3 = a;
            }
        }
        const uint8_t* v0 = grid_ + base;
        const uint8_t* v1 = v0 + n1;
        const uint8_t* v2 = v0 + n2;
        const uint8_t* v3 = v0 + s0 + s1 + s2;
        for (int ch = 0; ch < c; ++ch)
            out[ch] = static_cast<uint8_t>(
                (w0 * v0[ch] + w1 * v1[ch] + w2 * v2[ch] + w3 * v3[ch] + 2048) >> 12);
    }
}

Image toGrey(const Image& image) {
    if (image.space == ColourSpace::Grey) return image;
    Image grey;
    grey.width = image.width;
    grey.height = image.height;
    grey.space = ColourSpace::Grey;
    grey.format = image.format;
    const size_t n = size_t(image.width) * size_t(image.height);
    grey.pixels.resize(n);
    const uint8_t* p = image.pixels.data();
    for (size_t i = 0; i < n; ++i) {
        if (image.space == ColourSpace::Rgb) {
            // Rec. 601 luma in 16-bit fixed point.
            grey.pixels[i] =
                static_cast<uint8_t>((19595 * p[0] + 38470 * p[1] + 7471 * p[2] + 32768) >> 16);
            p += 3;
        } else {
            const int ink = (19595 * p[0] + 38470 * p[1] + 7471 * p[2] + 32768) >> 16;
            grey.pixels[i] = static_cast<uint8_t>(255 - std::min(255, ink + p[3]));
            p += 4;
        }
    }
    return grey;
}

Image toRgb(const Image& image) {
    if (image.space == ColourSpace::Rgb) return image;
    if (image.space == ColourSpace::Cmyk) throw std::logic_error("toRgb takes grey or RGB");
    Image rgb;
    rgb.width = image.width;
    rgb.height = image.height;
    rgb.space = ColourSpace::Rgb;
    rgb.format = image.format;
    rgb.pixels.resize(image.pixels.size() * 3);
    for (size_t i = 0; i < image.pixels.size(); ++i)
        rgb.pixels[3 * i] = rgb.pixels[3 * i + 1] = rgb.pixels[3 * i + 2] = image.pixels[i];
    return rgb;
}

}  // namespace inkdot::cli
