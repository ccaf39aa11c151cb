#include "preview.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "colour/colour_space.h"

namespace inkdot::cli {

PreviewRenderer::PreviewRenderer(const PreviewPage& page, int bits, const colour::InkModel& model,
                                 std::span<const colour::InkId> inks, int previewWidth,
                                 CropRect crop)
    : bits_(bits), inks_(int(inks.size())), perByte_(8 / std::max(1, bits)), cropRect_(crop) {
    if (inks_ < 1 || inks_ > 6 || (bits != 1 && bits != 2))
        throw std::logic_error("the preview takes one to six inks of one-bit or two-bit dots");
    if (page.width < 1 || page.height < 1 || page.xResolution < 1 || page.yResolution < 1 ||
        previewWidth < 1)
        throw std::logic_error("the preview needs a page and a width");
    pageWidth_ = uint64_t(page.width);
    pageHeight_ = uint64_t(page.height);
    previewWidth_ = uint64_t(previewWidth);
    // The page's height in inches times the preview's pixels an inch.
    previewHeight_ = uint64_t(
        std::max<long>(1, std::lround(double(page.height) / page.yResolution *
                                      (double(previewWidth) * page.xResolution / page.width))));
    const uint64_t W = pageWidth_, P = previewWidth_;

    // Across: which columns each device pixel gives to, and how much.
    const int rowBytes = (page.width + perByte_ - 1) / perByte_;
    const size_t pixels =
        size_t(rowBytes) * size_t(perByte_);  // the last byte's spare slots hold no dots
    pixelColumn_.assign(pixels, -1);
    pieceBegin_.assign(pixels + 1, 0);
    for (size_t x = 0; x < pixels; ++x) {
        pieceBegin_[x] = uint32_t(pieces_.size());
        if (x >= W) continue;
        const uint64_t from = x * P, to = from + P;
        const uint64_t first = from / W, last = (to - 1) / W;
        if (first == last) {
            pixelColumn_[x] = int32_t(first);
            continue;
        }
        for (uint64_t c = first; c <= last; ++c)
            pieces_.push_back(
                {uint32_t(c), uint32_t(std::min(to, (c + 1) * W) - std::max(from, c * W))});
    }
    pieceBegin_[pixels] = uint32_t(pieces_.size());
    byteColumn_.assign(size_t(rowBytes), -1);
    for (int b = 0; b < rowBytes; ++b) {
        const size_t x0 = size_t(b) * size_t(perByte_),
                     x1 = std::min<size_t>(x0 + size_t(perByte_), W);
        bool one = pixelColumn_[x0] >= 0;
        for (size_t x = x0 + 1; x < x1 && one; ++x) one = pixelColumn_[x] == pixelColumn_[x0];
        if (one) byteColumn_[size_t(b)] = pixelColumn_[x0];
    }

    // The colour of every dot combination, as darkening against bare paper:
    // pixels without dots then add nothing, and lines never given stay paper.
    colour::ColourSpaces spaces;
    encode_.resize(65536);
    for (size_t i = 0; i < encode_.size(); ++i)
        encode_[i] = uint8_t(std::lround(spaces.srgbEncode(double(i) / 65535.0)));
    paper_ = {model.paper.r, model.paper.g, model.paper.b};
    scale_ = 65535 / uint64_t(perByte_);
    const std::vector<colour::Linear> combos = model.combinations(inks, bits);
    dark_.resize(combos.size());
    look_.resize(combos.size());
    for (size_t e = 0; e < combos.size(); ++e) {
        const double reflectance[3] = {combos[e].r, combos[e].g, combos[e].b};
        dark_[e] = 0;
        for (size_t ch = 0; ch < 3; ++ch) {
            const double d = std::clamp(paper_[ch] - reflectance[ch], 0.0, 1.0);
            dark_[e] |= uint64_t(std::llround(d * double(scale_))) << (16 * ch);
            look_[e][ch] = encode(reflectance[ch]);
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
                const uint64_t code =
                    uint64_t(b >> (8 - bits * (slot + 1))) & uint64_t((1 << bits) - 1);
                spread_[size_t(k) * 256 + size_t(b)] |= (code << (bits * k)) << (laneBits_ * slot);
            }

    for (auto* sums : {&rowWhole_, &rowPart_, &rowEdge_, &lineWhole_, &linePart_})
        sums->assign(size_t(P) * 3, 0);
    out_.space = ColourSpace::Rgb;
    out_.width = previewWidth;
    out_.height = int(previewHeight_);
    const uint8_t paper[3] = {encode(paper_[0]), encode(paper_[1]), encode(paper_[2])};
    // Paper everywhere to begin with: one row, then copies of it.
    const size_t row = size_t(P) * 3;
    out_.pixels.resize(row * size_t(previewHeight_));
    for (size_t i = 0; i < row; i += 3) std::copy(paper, paper + 3, &out_.pixels[i]);
    for (size_t at = row; at < out_.pixels.size(); at += row)
        std::copy_n(out_.pixels.begin(), row, out_.pixels.begin() + long(at));

    xRepeat_ = page.xResolution < page.yResolution ? page.yResolution / page.xResolution : 1;
    yRepeat_ = page.xResolution > page.yResolution ? page.xResolution / page.yResolution : 1;
    crop_.space = ColourSpace::Rgb;
    crop_.width = crop.width * xRepeat_;
    crop_.height = crop.height * yRepeat_;
    crop_.pixels.resize(size_t(crop_.width) * size_t(crop_.height) * 3);
    for (size_t i = 0; i < crop_.pixels.size(); i += 3)
        std::copy(paper, paper + 3, &crop_.pixels[i]);
}

uint8_t PreviewRenderer::encode(double reflectance) const {
    return encode_[size_t(std::clamp(reflectance, 0.0, 1.0) * 65535.0 + 0.5)];
}

void PreviewRenderer::accumulate(const uint8_t* planes, size_t stride, int byteBegin, int byteEnd,
                                 uint64_t* whole, uint64_t* part) const {
    auto addPacked = [whole](int32_t column, uint64_t packed) {
        uint64_t* sum = whole + size_t(column) * 3;
        sum[0] += packed & 0xFFFF, sum[1] += (packed >> 16) & 0xFFFF, sum[2] += packed >> 32;
    };
    for (int b = byteBegin; b < byteEnd; ++b) {
        // The dot combination of every pixel of this byte, one lane each,
        // gathered from the planes by table; paper where no plane has a dot.
        uint64_t lanes = 0;
        for (int k = 0; k < inks_; ++k)
            lanes |= spread_[size_t(k) * 256 + planes[size_t(k) * stride + size_t(b)]];
        if (!lanes) continue;
        const int32_t column = byteColumn_[size_t(b)];
        if (column >= 0) {
            // The common case: the whole byte inside one column.
            uint64_t packed = 0;
            for (int slot = 0; slot < perByte_; ++slot, lanes >>= laneBits_)
                packed += dark_[size_t(lanes & laneMask_)];
            addPacked(column, packed);
            continue;
        }
        // A byte across a column's edge: its whole pixels go to their
        // columns as runs, a pixel on the edge to each side by its units.
        const size_t x0 = size_t(b) * size_t(perByte_);
        int32_t run = -1;
        uint64_t packed = 0;
        for (int slot = 0; slot < perByte_; ++slot, lanes >>= laneBits_) {
            const uint64_t d = dark_[size_t(lanes & laneMask_)];
            const size_t x = x0 + size_t(slot);
            const int32_t c = pixelColumn_[x];
            if (c >= 0) {
                if (c != run) {
                    if (run >= 0) addPacked(run, packed);
                    run = c, packed = 0;
                }
                packed += d;
            } else if (d) {
                for (uint32_t p = pieceBegin_[x]; p < pieceBegin_[x + 1]; ++p) {
                    const Piece& piece = pieces_[p];
                    uint64_t* sum = part + size_t(piece.column) * 3;
                    sum[0] += (d & 0xFFFF) * piece.units;
                    sum[1] += ((d >> 16) & 0xFFFF) * piece.units;
                    sum[2] += (d >> 32) * piece.units;
                }
            }
        }
        if (run >= 0) addPacked(run, packed);
    }
}

void PreviewRenderer::finishRow() {
    if (openRow_ < 0) return;
    // Every sum is darkening x scale x units across x units down; a whole
    // preview pixel is W units across and H down.
    const double toLinear = 1.0 / (double(scale_) * double(pageWidth_) * double(pageHeight_));
    uint8_t* out = &out_.pixels[size_t(openRow_) * size_t(previewWidth_) * 3];
    for (size_t i = size_t(touchedBegin_) * 3; i < size_t(touchedEnd_) * 3; ++i) {
        const uint64_t total =
            (rowWhole_[i] * previewWidth_ + rowPart_[i]) * previewHeight_ + rowEdge_[i];
        out[i] = encode(paper_[i % 3] - double(total) * toLinear);
        rowWhole_[i] = rowPart_[i] = rowEdge_[i] = 0;
    }
    openRow_ = -1;
    touchedBegin_ = touchedEnd_ = 0;
}

void PreviewRenderer::addLine(int y, const uint8_t* planes, size_t stride, int xBegin, int xEnd) {
    // The line spans [y Q, (y+1) Q) down (Q the preview's height), preview
    // row r spans [r H, (r+1) H).
    const uint64_t H = pageHeight_, Q = previewHeight_;
    const uint64_t from = uint64_t(y) * Q, to = from + Q;
    const int first = int(from / H), last = int((to - 1) / H);
    if (first < openRow_) throw std::logic_error("preview lines come in order");
    if (first != openRow_) finishRow();

    const int byteBegin = xBegin / perByte_, byteEnd = (xEnd + perByte_ - 1) / perByte_;
    if (byteBegin >= byteEnd) return;
    // The columns this line can touch.
    const uint64_t x0 = uint64_t(byteBegin) * uint64_t(perByte_);
    const uint64_t x1 = std::min(uint64_t(byteEnd) * uint64_t(perByte_), pageWidth_);
    const uint32_t cBegin = uint32_t(x0 * previewWidth_ / pageWidth_);
    const uint32_t cEnd = uint32_t((x1 * previewWidth_ + pageWidth_ - 1) / pageWidth_);
    auto touch = [&] {
        if (touchedBegin_ == touchedEnd_)
            touchedBegin_ = cBegin, touchedEnd_ = cEnd;
        else
            touchedBegin_ = std::min(touchedBegin_, cBegin),
            touchedEnd_ = std::max(touchedEnd_, cEnd);
    };

    if (first == last) {
        // Wholly inside one preview row: straight into its sums.
        openRow_ = first;
        touch();
        accumulate(planes, stride, byteBegin, byteEnd, rowWhole_.data(), rowPart_.data());
    } else {
        // Across a row's edge: the line's total, given to each row it
        // covers by the units it has there.
        std::fill(lineWhole_.begin() + cBegin * 3, lineWhole_.begin() + cEnd * 3, 0);
        std::fill(linePart_.begin() + cBegin * 3, linePart_.begin() + cEnd * 3, 0);
        accumulate(planes, stride, byteBegin, byteEnd, lineWhole_.data(), linePart_.data());
        for (size_t i = size_t(cBegin) * 3; i < size_t(cEnd) * 3; ++i)
            lineWhole_[i] = lineWhole_[i] * previewWidth_ + linePart_[i];
        for (int r = first; r <= last; ++r) {
            const uint64_t units =
                std::min(to, uint64_t(r + 1) * H) - std::max(from, uint64_t(r) * H);
            openRow_ = r;
            touch();
            for (size_t i = size_t(cBegin) * 3; i < size_t(cEnd) * 3; ++i)
                rowEdge_[i] += lineWhole_[i] * units;
            if (r < last) finishRow();
        }
    }

    // The crop, one device pixel to one screen pixel across.
    const CropRect& c = cropRect_;
    if (y >= c.y && y < c.y + c.height)
        for (int x = std::max(c.x, xBegin); x < std::min(c.x + c.width, xEnd); ++x) {
            const auto& look = look_[colour::combinationAt(
                inks_, bits_, x, [&](int k) { return planes + size_t(k) * stride; })];
            for (int ry = 0; ry < yRepeat_; ++ry)
                for (int rx = 0; rx < xRepeat_; ++rx) {
                    const size_t at = (size_t((y - c.y) * yRepeat_ + ry) * size_t(crop_.width) +
                                       size_t((x - c.x) * xRepeat_ + rx)) *
                                      3;
                    std::copy(look.begin(), look.end(), &crop_.pixels[at]);
                }
        }
}

Image PreviewRenderer::preview() {
    finishRow();
    return std::move(out_);
}

}  // namespace inkdot::cli
