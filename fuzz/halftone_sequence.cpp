// The halftone resource sequence in every mode: parameters from the input,
// an optional extra block in the colour table, and every resource the
// sequence asks for (lists, grid levels, matrices, level records) as the
// input's next chunk, each in a block of exactly its length through the
// bounded worker. A completed object then halftones a few lines.
//
// Input: shape, resolution, inputScale, maxPixels (two bytes each), whether
// there is an extra block and its chunk, one chunk per resource asked for,
// then the lines.
#include <cstddef>
#include <cstdint>

#include "frame/workers.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const HalftoneParams params = fuzz::halftoneParams(in);
    const bool hasExtra = in.byte() & 1;
    const fuzz::Exact extra(hasExtra ? in.chunk() : fuzz::Bytes{});
    fuzz::Lut table(params.inkSet != 0, hasExtra ? extra.data() : nullptr);

    int32_t tableClass = 0;
    HalftoneContext* context = nullptr;
    if (inkdot::halftoneNew(&params, &table.lut, 0, &tableClass, &context, extra.size) != INKDOT_OK)
        return 0;
    int32_t next = 0;
    int32_t result = INKDOT_OK;
    for (int asked = 0; result == INKDOT_OK && next != -1 && asked < 8; ++asked) {
        const fuzz::Exact resource(in.chunk());
        result = inkdot::halftoneSetResource(context, resource.data(), resource.size, &next);
    }
    fuzz::runLines(in, params, 4, [&](auto... args) { inkdot::halftone(context, args...); });
    inkdot::halftoneDelete(context);
    return 0;
}
