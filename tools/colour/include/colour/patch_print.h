// Printing patches through the library, as a driver prints a page, and
// measuring them with the ink model.
//
// A patch is a square of device pixels of one input value. The patches of
// a run are laid out in rows, like a printed target, and halftoned line by
// line across the whole row with the same calls, resolution, dot depth and
// method as `inkdot print`, so each patch carries the dot structure the page
// would. Only a patch's inner part is measured: near its edges the error
// diffusion still carries the neighbour's value.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "colour/ink_model.h"
#include "colour/target.h"
#include "respack/respack.h"

namespace inkdot::colour {

// The halftone resources by number: the list and what it names.
using ResourceSource = std::function<const respack::Bytes&(int32_t number)>;

// How the pages are printed.
struct PrintPath {
    int xResolution = 1440, yResolution = 720;
    int bits = 2;              // one-bit or two-bit dots
    bool diffusion = true;     // error diffusion, else ordered dither
    int32_t halftoneList = 0;  // the resource-number list of the halftone sequence
};

struct PatchLayout {
    int size = 48;    // device pixels across and down
    int margin = 8;   // left out of the measurement on every side
    int perRow = 48;  // patches in one row of the target
};

class PatchPrinter {
public:
    // `table4d` is a CMYK -> six-ink colour table (its bytes), `halftone`
    // gives the halftone resources, `model` measures the dots.
    PatchPrinter(respack::Bytes table4d, ResourceSource halftone, PrintPath path, InkModel model,
                 PatchLayout layout = {});

    // The mean reflectance of each CMYK patch printed with six inks.
    std::vector<Linear> printCmyk(std::span<const Cmyk> patches) const;
    // The mean reflectance of each black value printed with black ink
    // alone, the way a grey page is printed: through the table's black ramp
    // with its black-only greys.
    std::vector<Linear> printBlack(std::span<const uint8_t> values) const;

    const InkModel& model() const { return model_; }
    const PrintPath& path() const { return path_; }

private:
    std::vector<Linear> run(std::span<const uint8_t> input, int bytesPerPixel,
                            size_t patches) const;

    respack::Bytes table_;
    ResourceSource halftone_;
    PrintPath path_;
    InkModel model_;
    PatchLayout layout_;
};

}  // namespace inkdot::colour
