// Scaling the page image to device pixels, one output line at a time.
// Each axis has its own filter, chosen by its own scale: a linear (tent)
// filter where the image grows, an area average where it shrinks. The
// horizontal pass runs once per source line and is kept while output lines
// still need it, so a page many times the image's size costs little more than
// one blend of two lines per output line.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "image.h"

namespace inkdot::cli {

class Resampler {
public:
    Resampler(const Image& source, int width, int height);
    // A source whose lines come from `rows` (line index to its pixels, valid
    // until the next call), asked for in order, each once: a page rendered
    // a band at a time need never be whole in memory.
    using Rows = std::function<const uint8_t*(int)>;
    Resampler(int sourceWidth, int sourceHeight, int channels, Rows rows, int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    int channels() const { return channels_; }
    // Output line y (0 .. height - 1): width() pixels of channels() bytes,
    // valid until the next call. Lines are best asked for in order.
    const uint8_t* row(int y);

private:
    struct Taps {
        std::vector<int32_t> first;  // first source index of every output index
        std::vector<int32_t> start;  // where its weights begin in `weights`
        std::vector<int32_t> count;
        std::vector<uint16_t> weights;  // 14-bit, each output's weights sum to 16384
    };
    static Taps taps(int from, int to);
    const uint8_t* sourceRow(int sy);

    Rows rows_;
    int width_, height_, channels_;
    Taps x_, y_;
    struct Cached {
        int sy;
        std::vector<uint8_t> pixels;
    };
    std::deque<Cached> cache_;
    std::vector<uint8_t> out_;
    int lastY_ = -1;
};

// The image turned a quarter clockwise.
Image rotateQuarter(const Image& image);

}  // namespace inkdot::cli
