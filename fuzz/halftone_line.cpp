// Halftone lines with fuzzed parameters and pixels against a valid object:
// the parameters come from the input, the resources are a valid sequence
// (list, even grid levels, a Bayer matrix, level records); then the lines'
// counts, starts, offsets, flags and pixels come from the input.
#include <cstddef>
#include <cstdint>

#include "frame/workers.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const HalftoneParams params = fuzz::halftoneParams(in);
    fuzz::Lut table(params.inkSet != 0);
    int32_t tableClass = 0;
    HalftoneContext* context = nullptr;
    if (inkdot::halftoneNew(&params, &table.lut, 0, &tableClass, &context) != INKDOT_OK) return 0;
    const fuzz::Bytes steps[] = {fuzz::standardList(), fuzz::gridLevels(), fuzz::bayerMatrix(),
                                 fuzz::levelRecords()};
    int32_t next = 0;
    for (const fuzz::Bytes& step : steps) {
        const fuzz::Exact resource(step);
        if (inkdot::halftoneSetResource(context, resource.data(), resource.size, &next) != INKDOT_OK ||
            next == -1)
            break;
    }
    fuzz::runLines(in, params, 16, [&](auto... args) { inkdot::halftone(context, args...); });
    inkdot::halftoneDelete(context);
    return 0;
}
