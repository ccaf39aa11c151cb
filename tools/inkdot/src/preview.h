// The preview: the printed dots rendered as ink on paper, and brought to
// screen size.
//
// The colour of a device pixel comes from the ink model (tools/colour): the
// reflectance of the paper under the dots of every plane on it, in linear
// light. Each preview pixel is the exact area average of the device pixels
// it covers, which is what the eye does with dots seen from a distance.
//
// The preview spans the page exactly: a preview column is pageWidth /
// previewWidth device pixels wide and a preview row pageHeight /
// previewHeight lines tall, any ratio in either direction (a fraction, less
// than one when the preview has more pixels than the page, or very large).
// The preview's height follows the page's physical proportions, so device
// pixels that are not square (1440 x 720 dpi: half as wide as tall) come out
// in the right shape. A device pixel that straddles the edge of a preview
// pixel gives to each side the share of its area that lies there.
//
// Positions are counted in whole units so that every share is exact: across,
// a unit is 1/previewWidth of a device pixel, so device pixel x spans
// [x P, (x+1) P) and preview column c spans [c W, (c+1) W) (P the preview's
// width, W the page's); down alike with the heights. The sums are 64-bit
// integers; only the last division rounds.
//
// A second image shows a small part of the page one device pixel to one
// screen pixel across (lines repeated where device pixels are taller than
// wide), in the same colours.
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

struct PreviewPage {
    int width = 0, height = 0;  // device pixels
    int xResolution = 0, yResolution = 0;
};

class PreviewRenderer {
public:
    // Plane k carries ink `inks[k]`; `model` gives the colour of every dot
    // combination and the paper's white.
    PreviewRenderer(const PreviewPage& page, int bits, const colour::InkModel& model,
                    std::span<const colour::InkId> inks, int previewWidth, CropRect crop);

    // One page line: the packed planes, plane k at planes + k * stride. Only
    // pixels from xBegin to xEnd can hold dots (the bytes outside are zero).
    // Lines come in order; lines not given stay paper.
    void addLine(int y, const uint8_t* planes, size_t stride, int xBegin, int xEnd);

    // The finished preview, handed over (call once, after the last line).
    Image preview();
    Image crop() const { return crop_; }
    const CropRect& cropRect() const { return cropRect_; }
    int previewHeight() const { return previewHeight_; }

private:
    // Adds the dots of plane bytes [byteBegin, byteEnd) of one line to
    // `whole` (pixels wholly inside one column, darkening summed) and `part`
    // (pixels split between columns, darkening times units).
    void accumulate(const uint8_t* planes, size_t stride, int byteBegin, int byteEnd,
                    uint64_t* whole, uint64_t* part) const;
    // Writes the open row into the preview and clears its sums.
    void finishRow();
    uint8_t encode(double reflectance) const;

    int bits_, inks_, perByte_;
    uint64_t pageWidth_, pageHeight_, previewWidth_, previewHeight_;
    // Darkening of each dot combination against bare paper, in linear light
    // times scale_, for red, green and blue in 16-bit fields: scale_ is as
    // large as lets the sum over one plane byte's pixels still fit them.
    std::vector<uint64_t> dark_;
    uint64_t scale_;
    std::vector<std::array<uint8_t, 3>> look_;  // per dot combination, sRGB
    std::array<double, 3> paper_;
    // For each ink and plane byte: the codes of the byte's pixels, one lane each.
    std::vector<uint64_t> spread_;
    int laneBits_ = 8;
    uint64_t laneMask_ = 0xFF;

    // Across: the preview column of each plane byte whose pixels lie wholly
    // inside one column (-1 for the others), the column of each device pixel
    // that lies wholly inside one (-1 for those that straddle an edge), and
    // the columns a straddling pixel gives to with the units of each.
    struct Piece {
        uint32_t column, units;
    };
    std::vector<int32_t> byteColumn_, pixelColumn_;
    std::vector<uint32_t> pieceBegin_;  // pixel x: pieces_[pieceBegin_[x] .. pieceBegin_[x + 1])
    std::vector<Piece> pieces_;

    // Down: the open preview row's sums (three per column). Lines wholly
    // inside it add to `rowWhole_` and `rowPart_` (as `accumulate`); lines
    // that straddle its edges add their units-weighted total to `rowEdge_`.
    int openRow_ = -1;
    std::vector<uint64_t> rowWhole_, rowPart_, rowEdge_, lineWhole_, linePart_;
    uint32_t touchedBegin_ = 0, touchedEnd_ = 0;  // columns the open row's sums hold

    std::vector<uint8_t> encode_;  // linear 0..1 in 65,536 steps to sRGB
    Image out_;
    CropRect cropRect_;
    Image crop_;
    int xRepeat_, yRepeat_;
};

}  // namespace inkdot::cli
