// The preview: the printed dots rendered as the inks would look on white
// paper, and brought to screen size.
//
// Every device pixel takes the dots of all planes at once: each ink lets
// through a share of the light (its transmittance in linear light, the
// light inks a weaker version of their dark ink), scaled by how much of the
// pixel its dot covers (small, medium or large), and the inks on one pixel
// multiply. Pixels are averaged over the area of each screen pixel in linear
// light, which is what the eye does with dots from a distance, and the bins
// follow the physical size of a device pixel, so 1440 x 720 dpi pixels
// (twice as tall as wide) come out in the right proportions. A second image
// shows a small part of the page one device pixel to one screen pixel across
// (lines repeated where device pixels are taller than wide).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "image.h"

namespace inkdot::cli {

struct InkLook {
    std::string name;
    std::array<double, 3> colour;  // sRGB (0..255) of the solid ink on white paper
};
// The look of a named ink: cyan, magenta, yellow, black, light cyan, light
// magenta; other names print as black.
InkLook inkLook(const std::string& name);

// The share of a pixel a dot covers: one-bit dots cover it; two-bit codes
// 1, 2, 3 are the small, medium and large dots.
double dotCoverage(int bits, int code);

struct CropRect {
    int x = 0, y = 0, width = 0, height = 0;  // device pixels
};

class PreviewRenderer {
public:
    PreviewRenderer(int pageWidth, int pageHeight, int xResolution, int yResolution, int bits,
                    const std::vector<InkLook>& inks, int previewWidth, CropRect crop);

    // One page line: the packed planes, plane k at planes + k * stride. Only
    // pixels from xBegin to xEnd can hold dots (the bytes outside are zero).
    // Lines not given stay paper.
    void addLine(int y, const uint8_t* planes, size_t stride, int xBegin, int xEnd);

    Image preview();
    Image crop() const { return crop_; }
    const CropRect& cropRect() const { return cropRect_; }

private:
    void flushRow();
    int code(const uint8_t* planes, size_t stride, int x) const;

    int bits_, inks_, xRepeat_, yRepeat_;
    int previewWidth_, previewHeight_;
    std::vector<uint16_t> column_;       // plane byte -> preview column
    std::vector<uint32_t> columnCount_;  // device columns in each preview column
    std::vector<int32_t> row_;           // device line -> preview row
    std::vector<uint32_t> rowCount_;
    // Per dot combination: the light absorbed, linear, 0..4095 for each of
    // red, green and blue in 16-bit fields (the sum over one plane byte's
    // pixels still fits them).
    std::vector<uint64_t> absorbed_;
    std::vector<std::array<uint8_t, 3>> look_;       // per dot combination, sRGB
    std::vector<uint64_t> spread_;  // per ink and plane byte: the pixels' codes in lanes
    int laneBits_ = 8;
    uint64_t laneMask_ = 0xFF;
    std::vector<uint32_t> sums_;                     // the current preview row, 3 per column
    int currentRow_ = -1;
    std::vector<float> linear_;                      // finished rows, linear absorbance
    CropRect cropRect_;
    Image crop_;
};

} // namespace inkdot::cli
