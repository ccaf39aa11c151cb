#include "preview.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "colour/colour_space.h"

namespace inkdot::cli {

AxisCover::AxisCover(int devicePixels, int screenPixels, double screenPerDevice)
    : first(size_t(devicePixels) + 1, 0), total(size_t(screenPixels), 0.0), step(screenPerDevice) {
    for (int d = 0; d < devicePixels; ++d) {
        first[size_t(d)] = uint32_t(parts.size());
        const double lo = d * step, hi = (d + 1) * step;
        for (int s = int(std::floor(lo)); s < screenPixels && s < hi; ++s) {
            const double overlap = std::min(hi, s + 1.0) - std::max(lo, double(s));
            if (overlap <= 0) continue;
            parts.push_back({s, float(overlap)});
            total[size_t(s)] += overlap;
        }
    }
    first[size_t(devicePixels)] = uint32_t(parts.size());
}

namespace {

double screenPerInch(int previewWidth, int xResolution, int pageWidth) {
    return double(previewWidth) * xResolution / pageWidth;
}

int previewHeightFor(int previewWidth, int pageWidth, int pageHeight, int xResolution, int yResolution) {
    const double perInch = screenPerInch(previewWidth, xResolution, pageWidth);
    return std::max(1, int(std::lround(double(pageHeight) / yResolution * perInch)));
}

} // namespace

PreviewRenderer::PreviewRenderer(int pageWidth, int pageHeight, int xResolution, int yResolution, int bits,
                                 const colour::InkModel& model, std::span<const colour::InkId> inks, int previewWidth,
                                 CropRect crop)
    : bits_(bits), inks_(int(inks.size())), perByte_(8 / bits),
      xRepeat_(xResolution < yResolution ? yResolution / xResolution : 1),
      yRepeat_(xResolution > yResolution ? xResolution / yResolution : 1), previewWidth_(previewWidth),
      previewHeight_(previewHeightFor(previewWidth, pageWidth, pageHeight, xResolution, yResolution)),
      columns_(pageWidth, previewWidth_, screenPerInch(previewWidth, xResolution, pageWidth) / xResolution),
      rows_(pageHeight, previewHeight_, screenPerInch(previewWidth, xResolution, pageWidth) / yResolution),
      paper_(model.paper), cropRect_(crop) {
    if (inks_ < 1 || inks_ > 6 || (bits != 1 && bits != 2))
        throw std::logic_error("the preview takes one to six inks of one-bit or two-bit dots");
    // Every combination of dots on one pixel: the light it takes from the
    // paper, and its colour for the crop.
    const colour::ColourSpaces spaces;
    encode_ = spaces.srgbEncodeTable();
    const std::vector<colour::Linear> reflect = model.combinations(inks, bits);
    absorbed_.assign(reflect.size(), 0);
    absorbedExact_.resize(reflect.size());
    look_.resize(reflect.size());
    for (size_t combo = 0; combo < reflect.size(); ++combo) {
        const double r[3] = {reflect[combo].r, reflect[combo].g, reflect[combo].b};
        const double p[3] = {paper_.r, paper_.g, paper_.b};
        for (size_t ch = 0; ch < 3; ++ch) {
            const double taken = std::max(0.0, p[ch] - r[ch]);
            absorbedExact_[combo][ch] = float(taken);
            absorbed_[combo] |= uint64_t(std::lround(taken * 4095.0)) << (16 * ch);
            look_[combo][ch] = encode_[size_t(std::lround(std::clamp(r[ch], 0.0, 1.0) * 4095.0))];
        }
    }
    // For each ink and plane byte, the codes of its pixels placed in the
    // lanes of a word: 8-bit lanes for one-bit dots, 16-bit for two-bit.
    laneBits_ = bits == 1 ? 8 : 16;
    laneMask_ = (uint64_t(1) << laneBits_) - 1;
    spread_.assign(size_t(inks_) * 256, 0);
    for (int k = 0; k < inks_; ++k)
        for (int b = 0; b < 256; ++b)
            for (int slot = 0; slot < perByte_; ++slot) {
                const uint64_t code = uint64_t(b >> (8 - bits * (slot + 1))) & uint64_t((1 << bits) - 1);
                spread_[size_t(k) * 256 + size_t(b)] |= (code << (bits * k)) << (laneBits_ * slot);
            }
    // A plane byte whose pixels all lie wholly inside one screen column
    // takes the quick way: its pixels' light summed in lanes.
    const int rowBytes = (pageWidth + perByte_ - 1) / perByte_;
    byteColumn_.assign(size_t(rowBytes), -1);
    for (int b = 0; b < rowBytes; ++b) {
        const int x0 = b * perByte_, x1 = std::min(pageWidth, x0 + perByte_);
        int column = -1;
        bool whole = true;
        for (int x = x0; x < x1 && whole; ++x) {
            const uint32_t f = columns_.first[size_t(x)], l = columns_.first[size_t(x) + 1];
            whole = l == f + 1 && std::abs(columns_.parts[f].overlap - columns_.step) < 1e-6 &&
                    (column < 0 || column == columns_.parts[f].screen);
            if (whole) column = columns_.parts[f].screen;
        }
        if (whole) byteColumn_[size_t(b)] = column;
    }
    whole_.assign(size_t(previewWidth_) * 3, 0);
    line_.assign(size_t(previewWidth_) * 3, 0.0);
    absorbed_sum_.assign(size_t(previewWidth_) * size_t(previewHeight_) * 3, 0.0);
    crop_.space = ColourSpace::Rgb;
    crop_.width = crop.width * xRepeat_;
    crop_.height = crop.height * yRepeat_;
    crop_.pixels.assign(size_t(crop_.width) * size_t(crop_.height) * 3, 0);
    const std::array<uint8_t, 3>& paper = look_[0];
    for (size_t i = 0; i < crop_.pixels.size(); ++i) crop_.pixels[i] = paper[i % 3];
}

void PreviewRenderer::addLine(int y, const uint8_t* planes, size_t stride, int xBegin, int xEnd) {
    const int byteBegin = xBegin / perByte_, byteEnd = (xEnd + perByte_ - 1) / perByte_;
    int low = previewWidth_, high = -1;  // the columns this line touches
    for (int b = byteBegin; b < byteEnd; ++b) {
        // The dot combination of every pixel of this byte, one lane each,
        // gathered from the planes by table; paper where no plane has a dot
        // (and paper takes no light). The planes hold no dots outside the
        // image, so no pixel needs a bounds test.
        uint64_t lanes = 0;
        for (int k = 0; k < inks_; ++k) lanes |= spread_[size_t(k) * 256 + planes[size_t(k) * stride + size_t(b)]];
        if (!lanes) continue;
        const int column = byteColumn_[size_t(b)];
        if (column >= 0) {
            uint64_t packed = 0;
            for (int slot = 0; slot < perByte_; ++slot, lanes >>= laneBits_) packed += absorbed_[size_t(lanes & laneMask_)];
            uint32_t* sum = &whole_[size_t(column) * 3];
            sum[0] += uint32_t(packed & 0xFFFF), sum[1] += uint32_t((packed >> 16) & 0xFFFF), sum[2] += uint32_t(packed >> 32);
            low = std::min(low, column), high = std::max(high, column);
            continue;
        }
        // A byte across a column boundary (or a page smaller than the
        // screen): each pixel shared out by the overlap of its area.
        for (int slot = 0; slot < perByte_; ++slot, lanes >>= laneBits_) {
            const uint64_t combo = lanes & laneMask_;
            if (!combo) continue;
            const size_t x = size_t(b * perByte_ + slot);
            const auto& taken = absorbedExact_[size_t(combo)];
            for (uint32_t p = columns_.first[x]; p < columns_.first[x + 1]; ++p) {
                const auto& part = columns_.parts[p];
                double* sum = &line_[size_t(part.screen) * 3];
                sum[0] += part.overlap * taken[0], sum[1] += part.overlap * taken[1], sum[2] += part.overlap * taken[2];
                low = std::min(low, part.screen), high = std::max(high, part.screen);
            }
        }
    }
    // The line into the screen rows it overlaps.
    if (high >= 0) {
        const double unit = columns_.step / 4095.0;  // a whole pixel's overlap, per packed unit
        for (int c = low; c <= high; ++c) {
            uint32_t* whole = &whole_[size_t(c) * 3];
            double* part = &line_[size_t(c) * 3];
            const double v[3] = {whole[0] * unit + part[0], whole[1] * unit + part[1], whole[2] * unit + part[2]};
            for (uint32_t p = rows_.first[size_t(y)]; p < rows_.first[size_t(y) + 1]; ++p) {
                const auto& row = rows_.parts[p];
                double* out = &absorbed_sum_[(size_t(row.screen) * size_t(previewWidth_) + size_t(c)) * 3];
                out[0] += row.overlap * v[0], out[1] += row.overlap * v[1], out[2] += row.overlap * v[2];
            }
            whole[0] = whole[1] = whole[2] = 0;
            part[0] = part[1] = part[2] = 0.0;
        }
    }
    // The crop, one device pixel to one screen pixel across.
    const CropRect& c = cropRect_;
    if (y >= c.y && y < c.y + c.height)
        for (int x = c.x; x < c.x + c.width; ++x) {
            const auto& look = look_[colour::combinationAt(inks_, bits_, x, [&](int k) { return planes + size_t(k) * stride; })];
            for (int ry = 0; ry < yRepeat_; ++ry)
                for (int rx = 0; rx < xRepeat_; ++rx) {
                    const size_t at = (size_t((y - c.y) * yRepeat_ + ry) * size_t(crop_.width) +
                                       size_t((x - c.x) * xRepeat_ + rx)) * 3;
                    std::copy(look.begin(), look.end(), &crop_.pixels[at]);
                }
        }
}

Image PreviewRenderer::preview() const {
    Image out;
    out.space = ColourSpace::Rgb;
    out.width = previewWidth_;
    out.height = previewHeight_;
    out.pixels.resize(absorbed_sum_.size());
    const double paper[3] = {paper_.r, paper_.g, paper_.b};
    for (int r = 0; r < previewHeight_; ++r)
        for (int c = 0; c < previewWidth_; ++c) {
            // The screen pixel's share of the page: the light taken, over
            // the area of device pixels it covers.
            const double area = rows_.total[size_t(r)] * columns_.total[size_t(c)];
            const size_t at = (size_t(r) * size_t(previewWidth_) + size_t(c)) * 3;
            for (size_t ch = 0; ch < 3; ++ch) {
                const double reflect = paper[ch] - (area > 0 ? absorbed_sum_[at + ch] / area : 0.0);
                out.pixels[at + ch] = encode_[size_t(std::lround(std::clamp(reflect, 0.0, 1.0) * 4095.0))];
            }
        }
    return out;
}

} // namespace inkdot::cli
