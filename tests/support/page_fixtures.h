// A page through the exported functions, as a driver runs it: colour
// matching chooses and decodes a colour table, the halftone object takes the
// lookup table and completes its resource sequence, and lines go through
// Halftone. Any HalftoneParams and any resources; the fixture deletes both
// objects.
#pragma once

#include <cstdint>
#include <vector>

#include "halftone/halftone_context.h"
#include "inkdot/inkdot.h"
#include "support/cm_fixtures.h"

namespace inkdot::test {

using Bytes = std::vector<uint8_t>;

// The resources a page asks for: the colour table (through a one-line text
// index), then the halftone resources by role. The list's first number names
// the grid levels and the later ones the matrix; an extra block of the kind
// that names a level-record resource makes the third call ask for `records`.
struct PageResources {
    Bytes table;
    Bytes list;
    Bytes levels;
    Bytes matrix;
    Bytes records;
};

// A one-ink table of 17 points (three dimensions, black in its last channel)
// with a dot gain of 350 % for isolated dots, and six-ink tables of 9 points
// (four dimensions, CMYK to cyan, light cyan, magenta, light magenta, yellow,
// black) with an extra block of the level-model kind or of the kind that
// names a level-record resource; each with the usual list, 32 grid levels
// and a 64 x 64 blue-noise matrix.
PageResources oneInkResources();
PageResources sixInkResources();
PageResources sixInkResourcesWithRecords();

class HalftonePage {
public:
    HalftonePage(const HalftoneParams& params, const PageResources& resources);
    ~HalftonePage();
    HalftonePage(const HalftonePage&) = delete;
    HalftonePage& operator=(const HalftonePage&) = delete;

    // Whether colour matching, HalftoneNew and the whole resource sequence
    // succeeded; `failure` says which step did not.
    bool ready() const { return failure == nullptr; }
    const char* failure = "colour matching";
    HalftoneContext& context() { return *context_; }
    // What the object's kernel works on, for calling a kernel directly.
    const kernels::KernelView& view() const { return context_->view; }
    kernels::LineState& state() { return context_->line; }

    // One stretch through Halftone: `input` holds the whole line as the
    // object reads it, `planes` planes of `planeStride` bytes for the whole
    // line; the stretch starts at pixel startX of both (an object that
    // repeats input pixels takes whole lines only, startX 0).
    int32_t line(const Bytes& input, Bytes& planes, int32_t planeStride, int32_t lineNumber,
                 int32_t startX, int32_t count);
    // Input bytes per output pixel of a plain line, and output bits per pixel.
    int32_t inputBytesPerPixel() const;
    int32_t bitsPerPixel() const { return context_->params.outputBits == 2 ? 2 : 1; }

private:
    ColourMatching cm_;
    HalftoneContext* context_ = nullptr;
};

// The ink of one slot of a plane: 0 or 1 for one-bit dots, 0..3 (none,
// small, medium, large) for two-bit codes.
int32_t inkAt(const Bytes& planes, int32_t planeStride, int plane, int32_t x, int32_t bits);

}  // namespace inkdot::test
