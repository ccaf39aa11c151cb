// Hand-built halftone contexts for the kernel tests.
//
// A KernelFixture fills a kernel view with arrays the test owns, so a kernel
// can be driven without the resource sequence: identity density map, a matrix
// of the test's choosing, tables and error lines sized as the resource
// sequence sizes them. For the tests that go through the line frame it also
// holds an object record whose block table points at the same arrays.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "halftone/halftone_context.h"
#include "kernels/diffusion.h"
#include "kernels/kernels.h"

namespace inkdot::test {

class KernelFixture {
public:
    // A context for lines of up to maxPixels pixels: method 1, inkSet 0,
    // inputScale 0, identity density map, a 1 x 1 matrix holding 0, spread
    // levels 0 and every table zero.
    explicit KernelFixture(int32_t maxPixels = 64);
    KernelFixture(const KernelFixture&) = delete;
    KernelFixture& operator=(const KernelFixture&) = delete;

    // The view the kernels get: the arrays, and the line, matrix and spread
    // values as the parameters and setters below have made them.
    kernels::KernelView& view();
    kernels::LineState& state() { return context_.line; }
    HalftoneParams& params() { return context_.params; }
    // The object record over the same arrays, for calls through the frame;
    // its kernel is chosen by prepareKernel once the test has set it up.
    HalftoneContext& context() { return context_; }

    // Replaces the matrix by width x height values, row after row.
    void setMatrix(int32_t width, int32_t height, std::vector<int32_t> values);
    void setSpreadLevels(int32_t l1, int32_t l2, int32_t l3, int32_t l4);

    // Error-line entry of pixel x (x may reach into the guard entries), and
    // the whole line including its guards.
    int16_t& entry(int32_t x) { return errorLine_[size_t(kernels::kErrorLineGuard + x)]; }
    std::vector<int16_t>& errorLine() { return errorLine_; }

    std::vector<int16_t> densityMap = std::vector<int16_t>(256);
    std::vector<int16_t> dotValues = std::vector<int16_t>(256);
    std::vector<int16_t> errorThresholds = std::vector<int16_t>(512);
    std::vector<int32_t> levelThresholds = std::vector<int32_t>(512);
    std::vector<LevelRecord> levelRecords = std::vector<LevelRecord>(512);

    // Calls `kernel` with the line arguments; planeStride 0, pairFlag and
    // reserved as given.
    int32_t run(kernels::Kernel& kernel, const std::vector<uint8_t>& input, uint8_t* dst,
                int32_t bitOffset, int32_t pixelCount, int32_t startX, int32_t lineNumber = 0,
                int32_t pairFlag = 0, int32_t enable = 1, int32_t reserved = 0);

private:
    void attach();

    HalftoneContext context_{};
    kernels::KernelView view_{};
    std::vector<int32_t> matrix_;
    std::vector<int16_t> errorLine_;
};

// The entries an error line gets from a pattern, written as in the pattern
// tables: `below` lists B-1, B-2, ... and `right` R+1, R+2, ..., each a
// weight in 32nds of E, or "h" for a half share (E >> 1).
struct PatternRow {
    std::string below;
    std::string own;
    std::string right;
    std::string carry;
};

// The entry values a pattern row gives for error E, offsets -kSpan..kSpan
// (own entry at kSpan) with `carryIn` added to the own entry; the carry out
// is returned through `carryOut`.
inline constexpr int kSpan = 24;
std::vector<int32_t> expectedEntries(const PatternRow& row, int32_t error, int32_t carryIn,
                                     int32_t& carryOut);

}  // namespace inkdot::test
