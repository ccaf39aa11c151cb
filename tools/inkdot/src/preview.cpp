#include "preview.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace inkdot::cli {
namespace {

double toLinear(double srgb) {
    const double v = srgb / 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

uint8_t toSrgb(double linear) {
    const double v = std::clamp(linear, 0.0, 1.0);
    const double s = v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
    return static_cast<uint8_t>(std::lround(s * 255.0));
}

} // namespace

InkLook inkLook(const std::string& name) {
    // Solid inks on white paper as a screen shows them; the light inks print
    // at about a third of their dark ink's density.
    auto light = [](std::array<double, 3> c) {
        for (double& v : c) v = 255.0 - (255.0 - v) * 0.3;
        return c;
    };
    const std::array<double, 3> cyan{0, 174, 239}, magenta{236, 0, 140};
    if (name == "cyan") return {name, cyan};
    if (name == "magenta") return {name, magenta};
    if (name == "yellow") return {name, {255, 242, 0}};
    if (name == "light cyan") return {name, light(cyan)};
    if (name == "light magenta") return {name, light(magenta)};
    return {name, {35, 31, 32}};
}

double dotCoverage(int bits, int code) {
    if (bits == 1) return code ? 1.0 : 0.0;
    // The two-bit dot model the level records follow puts 65/203 of a large
    // dot's ink into a small dot and 104/203 into a medium one.
    constexpr double cover[4] = {0.0, 65.0 / 203.0, 104.0 / 203.0, 1.0};
    return cover[code & 3];
}

PreviewRenderer::PreviewRenderer(int pageWidth, int pageHeight, int xResolution, int yResolution, int bits,
                                 const std::vector<InkLook>& inks, int previewWidth, CropRect crop)
    : bits_(bits), inks_(int(inks.size())), cropRect_(crop) {
    if (inks_ < 1 || inks_ > 6 || (bits != 1 && bits != 2))
        throw std::logic_error("the preview takes one to six inks of one-bit or two-bit dots");
    xRepeat_ = xResolution < yResolution ? yResolution / xResolution : 1;
    yRepeat_ = xResolution > yResolution ? xResolution / yResolution : 1;
    // Screen pixels per inch, from the page's width.
    const double perInch = double(previewWidth) * xResolution / pageWidth;
    previewWidth_ = previewWidth;
    previewHeight_ = std::max(1, int(std::lround(double(pageHeight) / yResolution * perInch)));
    // Columns by plane byte: the pixels of one byte (4 or 8 device pixels,
    // far less than a screen pixel) fall into the column of their middle.
    const int perByte = 8 / bits;
    const int rowBytes = (pageWidth + perByte - 1) / perByte;
    column_.resize(size_t(rowBytes));
    columnCount_.assign(size_t(previewWidth_), 0);
    for (int b = 0; b < rowBytes; ++b) {
        const int first = b * perByte, count = std::min(perByte, pageWidth - first);
        const int c = std::min(previewWidth_ - 1, int((first + count / 2.0) / xResolution * perInch));
        column_[size_t(b)] = uint16_t(c);
        columnCount_[size_t(c)] += uint32_t(count);
    }
    row_.resize(size_t(pageHeight));
    rowCount_.assign(size_t(previewHeight_), 0);
    for (int y = 0; y < pageHeight; ++y) {
        const int r = std::min(previewHeight_ - 1, int((y + 0.5) / yResolution * perInch));
        row_[size_t(y)] = r;
        ++rowCount_[size_t(r)];
    }
    // Every combination of dots on one pixel.
    const size_t combos = size_t(1) << (bits * inks_);
    absorbed_.assign(combos, 0);
    look_.resize(combos);
    for (size_t combo = 0; combo < combos; ++combo) {
        std::array<double, 3> through{1, 1, 1};
        for (int k = 0; k < inks_; ++k) {
            const double cover = dotCoverage(bits, int(combo >> (bits * k)) & ((1 << bits) - 1));
            for (int ch = 0; ch < 3; ++ch) through[size_t(ch)] *= 1.0 - cover * (1.0 - toLinear(inks[size_t(k)].colour[size_t(ch)]));
        }
        for (int ch = 0; ch < 3; ++ch) {
            absorbed_[combo] |= uint64_t(std::lround((1.0 - through[size_t(ch)]) * 4095.0)) << (16 * ch);
            look_[combo][size_t(ch)] = toSrgb(through[size_t(ch)]);
        }
    }
    // For each ink and plane byte, the codes of its pixels placed in the
    // lanes of a word: 8-bit lanes for one-bit dots, 16-bit for two-bit.
    laneBits_ = bits == 1 ? 8 : 16;
    laneMask_ = (uint64_t(1) << laneBits_) - 1;
    spread_.assign(size_t(inks_) * 256, 0);
    for (int k = 0; k < inks_; ++k)
        for (int b = 0; b < 256; ++b)
            for (int slot = 0; slot < perByte; ++slot) {
                const uint64_t code = uint64_t(b >> (8 - bits * (slot + 1))) & uint64_t((1 << bits) - 1);
                spread_[size_t(k) * 256 + size_t(b)] |= (code << (bits * k)) << (laneBits_ * slot);
            }
    sums_.assign(size_t(previewWidth_) * 3, 0);
    linear_.assign(size_t(previewWidth_) * size_t(previewHeight_) * 3, 0.0f);
    crop_.space = ColourSpace::Rgb;
    crop_.width = crop.width * xRepeat_;
    crop_.height = crop.height * yRepeat_;
    crop_.pixels.assign(size_t(crop_.width) * size_t(crop_.height) * 3, 255);
}

int PreviewRenderer::code(const uint8_t* planes, size_t stride, int x) const {
    int combo = 0;
    const int perByte = 8 / bits_, mask = (1 << bits_) - 1;
    const size_t byte = size_t(x / perByte);
    const int shift = 8 - bits_ * (x % perByte + 1);
    for (int k = 0; k < inks_; ++k) combo |= ((planes[size_t(k) * stride + byte] >> shift) & mask) << (bits_ * k);
    return combo;
}

void PreviewRenderer::flushRow() {
    if (currentRow_ < 0) return;
    float* out = &linear_[size_t(currentRow_) * size_t(previewWidth_) * 3];
    for (int c = 0; c < previewWidth_; ++c) {
        const double area = double(columnCount_[size_t(c)]) * rowCount_[size_t(currentRow_)] * 4095.0;
        for (int ch = 0; ch < 3; ++ch) {
            if (area > 0) out[size_t(c) * 3 + size_t(ch)] += float(sums_[size_t(c) * 3 + size_t(ch)] / area);
            sums_[size_t(c) * 3 + size_t(ch)] = 0;
        }
    }
}

void PreviewRenderer::addLine(int y, const uint8_t* planes, size_t stride, int xBegin, int xEnd) {
    const int r = row_[size_t(y)];
    if (r != currentRow_) {
        flushRow();
        currentRow_ = r;
    }
    const int perByte = 8 / bits_;
    const int byteBegin = xBegin / perByte, byteEnd = (xEnd + perByte - 1) / perByte;
    for (int b = byteBegin; b < byteEnd; ++b) {
        // The dot combination of every pixel of this byte, one lane each,
        // gathered from the planes by table; paper where no plane has a dot.
        // (The planes hold no dots outside the image, so no pixel needs a
        // bounds test.) The pixels of a byte share a preview column.
        uint64_t lanes = 0;
        for (int k = 0; k < inks_; ++k) lanes |= spread_[size_t(k) * 256 + planes[size_t(k) * stride + size_t(b)]];
        if (!lanes) continue;
        uint64_t packed = 0;
        for (int slot = 0; slot < perByte; ++slot, lanes >>= laneBits_) packed += absorbed_[size_t(lanes & laneMask_)];
        uint32_t* sum = &sums_[size_t(column_[size_t(b)]) * 3];
        sum[0] += uint32_t(packed & 0xFFFF), sum[1] += uint32_t((packed >> 16) & 0xFFFF), sum[2] += uint32_t(packed >> 32);
    }
    // The crop, one device pixel to one screen pixel across.
    const CropRect& c = cropRect_;
    if (y >= c.y && y < c.y + c.height)
        for (int x = c.x; x < c.x + c.width; ++x) {
            const auto& look = look_[size_t(code(planes, stride, x))];
            for (int ry = 0; ry < yRepeat_; ++ry)
                for (int rx = 0; rx < xRepeat_; ++rx) {
                    const size_t at = (size_t((y - c.y) * yRepeat_ + ry) * size_t(crop_.width) +
                                       size_t((x - c.x) * xRepeat_ + rx)) * 3;
                    std::copy(look.begin(), look.end(), &crop_.pixels[at]);
                }
        }
}

Image PreviewRenderer::preview() {
    flushRow();
    currentRow_ = -1;
    Image out;
    out.space = ColourSpace::Rgb;
    out.width = previewWidth_;
    out.height = previewHeight_;
    out.pixels.resize(linear_.size());
    std::vector<uint8_t> encode(4096);
    for (size_t i = 0; i < encode.size(); ++i) encode[i] = toSrgb(double(i) / 4095.0);
    for (size_t i = 0; i < linear_.size(); ++i)
        out.pixels[i] = encode[size_t(std::clamp(1.0f - linear_[i], 0.0f, 1.0f) * 4095.0f + 0.5f)];
    return out;
}

} // namespace inkdot::cli
