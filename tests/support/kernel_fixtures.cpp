#include "support/kernel_fixtures.h"

#include <sstream>

#include "frame/mem_block.h"

namespace inkdot::test {

KernelFixture::KernelFixture(int32_t maxPixels) {
    HalftoneParams& p = context_.params;
    p.method = 1;
    p.inkSet = 0;
    p.xResolution = 720;
    p.yResolution = 720;
    p.outputBits = 1;
    p.maxPixels = maxPixels;
    p.version = INKDOT_HALFTONE_VERSION;
    context_.line = {-12345, -12345};
    context_.replication = 1;
    context_.errorLineCount = 1;
    context_.sequenceState = kSequenceComplete;  // tables in place, as after a sequence
    for (int v = 0; v < 256; ++v) densityMap[size_t(v)] = int16_t(v);
    // Sized exactly as the resource sequence sizes an error line, so that a
    // kernel reaching past it is caught by the sanitizer build.
    const int32_t bytes = 4 * ((2 * maxPixels + 119) / 4) + 4;
    errorLine_.assign(size_t(bytes / 2), 0);
    matrix_.assign(1, 0);
    context_.matrixWidth = context_.matrixHeight = context_.matrixSize = 1;
    attach();
}

void KernelFixture::attach() {
    BlockTable& b = context_.blocks;
    setView(b[kDensityMap], densityMap.data(), nullptr, 512);
    setView(b[kErrorLineA], errorLine_.data(), nullptr, int32_t(errorLine_.size() * 2));
    setView(b[kDitherMatrix], matrix_.data(), nullptr, int32_t(matrix_.size() * 4));
    setView(b[kLevelThresholds], levelThresholds.data(), nullptr, 2048);
    setView(b[kDotValues], dotValues.data(), nullptr, 512);
    setView(b[kErrorThresholds], errorThresholds.data(), nullptr, 1024);
    setView(b[kLevelRecords], levelRecords.data(), nullptr, 4096);
    view_.densityMap = densityMap.data();
    view_.errorLines[0] = errorLine_.data();
    view_.matrix = matrix_.data();
    view_.levelThresholds = levelThresholds.data();
    view_.dotValues = reinterpret_cast<const uint16_t*>(dotValues.data());
    view_.errorThresholds = errorThresholds.data();
    view_.levelRecords = levelRecords.data();
}

kernels::KernelView& KernelFixture::view() {
    const HalftoneContext& c = context_;
    view_.maxPixels = c.params.maxPixels;
    view_.inputScale = c.params.inputScale;
    view_.outputBits = c.params.outputBits;
    view_.matrixWidth = c.matrixWidth;
    view_.matrixHeight = c.matrixHeight;
    view_.matrixSize = c.matrixSize;
    view_.spread = c.spread;
    return view_;
}

void KernelFixture::setMatrix(int32_t width, int32_t height, std::vector<int32_t> values) {
    matrix_ = std::move(values);
    matrix_.resize(size_t(width * height));
    context_.matrixWidth = width;
    context_.matrixHeight = height;
    context_.matrixSize = width * height;
    attach();
}

void KernelFixture::setSpreadLevels(int32_t l1, int32_t l2, int32_t l3, int32_t l4) {
    context_.spread = {l1, l2, l3, l4};
}

int32_t KernelFixture::run(kernels::Kernel& kernel, const std::vector<uint8_t>& input, uint8_t* dst,
                           int32_t bitOffset, int32_t pixelCount, int32_t startX,
                           int32_t lineNumber, int32_t pairFlag, int32_t enable, int32_t reserved) {
    return kernel(view(), state(), input.data(), dst, 0, bitOffset, pixelCount, startX, enable,
                  lineNumber, pairFlag, reserved);
}

namespace {
// One weight of a pattern row applied to E: "h" is the half share.
int32_t shareOf(const std::string& weight, int32_t error) {
    return weight == "h" ? (error >> 1) : std::stoi(weight) * error;
}
}  // namespace

std::vector<int32_t> expectedEntries(const PatternRow& row, int32_t error, int32_t carryIn,
                                     int32_t& carryOut) {
    std::vector<int32_t> entries(2 * kSpan + 1, 0);
    std::istringstream below(row.below), right(row.right);
    std::string w;
    for (int k = 1; below >> w; ++k) entries[size_t(kSpan - k)] = shareOf(w, error);
    for (int k = 1; right >> w; ++k) entries[size_t(kSpan + k)] = shareOf(w, error);
    entries[kSpan] = shareOf(row.own, error) + carryIn;
    carryOut = shareOf(row.carry, error);
    return entries;
}

}  // namespace inkdot::test
