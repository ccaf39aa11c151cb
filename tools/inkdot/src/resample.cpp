#include "resample.h"

#include <algorithm>
#include <cmath>

namespace inkdot::cli {

Resampler::Taps Resampler::taps(int from, int to) {
    Taps t;
    const double scale = double(to) / double(from);
    std::vector<double> w;
    for (int o = 0; o < to; ++o) {
        int first;
        w.clear();
        if (scale >= 1.0) {
            // Tent: the two source pixels whose centres surround this one's.
            const double u = (o + 0.5) / scale - 0.5;
            const double lo = std::floor(u);
            const double f = u - lo;
            first = int(lo);
            w = {1.0 - f, f};
            if (first < 0) first = 0, w = {1.0, 0.0};
            if (first >= from - 1) first = from - 1, w = {1.0};
        } else {
            // Area: every source pixel by the share of it this one covers.
            const double a = o / scale, b = (o + 1) / scale;
            first = int(std::floor(a));
            for (int s = first; s < from && s < b; ++s)
                w.push_back(std::min<double>(b, s + 1) - std::max<double>(a, s));
        }
        // 14-bit weights that sum exactly to 16384; the rounding goes to the largest.
        double sum = 0;
        for (double v : w) sum += v;
        std::vector<int> q(w.size());
        int total = 0;
        size_t largest = 0;
        for (size_t i = 0; i < w.size(); ++i) {
            q[i] = int(std::lround(w[i] / sum * 16384.0));
            total += q[i];
            if (w[i] > w[largest]) largest = i;
        }
        q[largest] += 16384 - total;
        // Drop zero weights at the ends so the blend does no needless work.
        size_t lo = 0, hi = q.size();
        while (hi - lo > 1 && q[lo] == 0) ++lo, ++first;
        while (hi - lo > 1 && q[hi - 1] == 0) --hi;
        t.first.push_back(first);
        t.start.push_back(int32_t(t.weights.size()));
        t.count.push_back(int32_t(hi - lo));
        for (size_t i = lo; i < hi; ++i) t.weights.push_back(uint16_t(q[i]));
    }
    return t;
}

Resampler::Resampler(const Image& source, int width, int height)
    : Resampler(
          source.width, source.height, source.channels(),
          [&source](int sy) {
              return source.pixels.data() +
                     size_t(sy) * size_t(source.width) * size_t(source.channels());
          },
          width, height) {}

Resampler::Resampler(int sourceWidth, int sourceHeight, int channels, Rows rows, int width,
                     int height)
    : rows_(std::move(rows)),
      width_(width),
      height_(height),
      channels_(channels),
      x_(taps(sourceWidth, width)),
      y_(taps(sourceHeight, height)),
      out_(size_t(width) * size_t(channels)) {}

const uint8_t* Resampler::sourceRow(int sy) {
    for (const Cached& c : cache_)
        if (c.sy == sy) return c.pixels.data();
    Cached c{sy, std::vector<uint8_t>(size_t(width_) * size_t(channels_))};
    const int ch = channels_;
    const uint8_t* in = rows_(sy);
    uint8_t* out = c.pixels.data();
    if (ch == 4) {
        // The page's own case (four inks), with the taps unrolled per ink.
        for (int x = 0; x < width_; ++x) {
            const uint8_t* p = in + size_t(x_.first[size_t(x)]) * 4;
            const uint16_t* w = &x_.weights[size_t(x_.start[size_t(x)])];
            const int n = x_.count[size_t(x)];
            uint32_t a0 = 8192, a1 = 8192, a2 = 8192, a3 = 8192;
            for (int i = 0; i < n; ++i, p += 4) {
                a0 += uint32_t(w[i]) * p[0], a1 += uint32_t(w[i]) * p[1];
                a2 += uint32_t(w[i]) * p[2], a3 += uint32_t(w[i]) * p[3];
            }
            uint8_t* o = out + size_t(x) * 4;
            o[0] = uint8_t(a0 >> 14), o[1] = uint8_t(a1 >> 14), o[2] = uint8_t(a2 >> 14),
            o[3] = uint8_t(a3 >> 14);
        }
        cache_.push_back(std::move(c));
        return cache_.back().pixels.data();
    }
    for (int x = 0; x < width_; ++x) {
        const uint8_t* p = in + size_t(x_.first[size_t(x)]) * size_t(ch);
        const uint16_t* w = &x_.weights[size_t(x_.start[size_t(x)])];
        const int n = x_.count[size_t(x)];
        for (int k = 0; k < ch; ++k) {
            uint32_t acc = 8192;
            for (int i = 0; i < n; ++i)
                acc += uint32_t(w[i]) * p[size_t(i) * size_t(ch) + size_t(k)];
            out[size_t(x) * size_t(ch) + size_t(k)] = uint8_t(acc >> 14);
        }
    }
    cache_.push_back(std::move(c));
    return cache_.back().pixels.data();
}

const uint8_t* Resampler::row(int y) {
    const size_t yi = size_t(y);
    if (lastY_ >= 0 && y_.first[yi] == y_.first[size_t(lastY_)] &&
        y_.count[yi] == y_.count[size_t(lastY_)] &&
        std::equal(&y_.weights[size_t(y_.start[yi])],
                   &y_.weights[size_t(y_.start[yi])] + y_.count[yi],
                   &y_.weights[size_t(y_.start[size_t(lastY_)])])) {
        lastY_ = y;
        return out_.data();
    }
    lastY_ = y;
    // Source lines above this output line's first are done with.
    while (!cache_.empty() && cache_.front().sy < y_.first[yi]) cache_.pop_front();
    const int n = y_.count[yi];
    const uint16_t* w = &y_.weights[size_t(y_.start[yi])];
    const size_t len = out_.size();
    uint8_t* out = out_.data();
    if (n == 1) {
        const uint8_t* a = sourceRow(y_.first[yi]);
        std::copy(a, a + len, out);
    } else if (n == 2) {
        // Two lines with 8-bit weights: the sums fit 16 bits, so the
        // compiler blends many bytes at once.
        const uint8_t* a = sourceRow(y_.first[yi]);
        const uint8_t* b = sourceRow(y_.first[yi] + 1);
        const uint16_t wb = uint16_t((w[1] + 32) >> 6), wa = uint16_t(256 - wb);
        for (size_t i = 0; i < len; ++i) out[i] = uint8_t((a[i] * wa + b[i] * wb + 128) >> 8);
    } else {
        std::vector<uint32_t> acc(len, 8192);
        for (int k = 0; k < n; ++k) {
            const uint8_t* a = sourceRow(y_.first[yi] + k);
            for (size_t i = 0; i < len; ++i) acc[i] += uint32_t(w[k]) * a[i];
        }
        for (size_t i = 0; i < len; ++i) out[i] = uint8_t(acc[i] >> 14);
    }
    return out;
}

Image rotateQuarter(const Image& image) {
    Image out;
    out.width = image.height;
    out.height = image.width;
    out.space = image.space;
    out.format = image.format;
    const size_t c = size_t(image.channels());
    out.pixels.resize(image.pixels.size());
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            // Source (x, y) goes to (height - 1 - y, x).
            const uint8_t* from = &image.pixels[(size_t(y) * size_t(image.width) + size_t(x)) * c];
            uint8_t* to =
                &out.pixels[(size_t(x) * size_t(out.width) + size_t(image.height - 1 - y)) * c];
            std::copy(from, from + c, to);
        }
    return out;
}

}  // namespace inkdot::cli
