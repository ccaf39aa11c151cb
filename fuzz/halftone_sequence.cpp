// The halftone resource sequence in every mode and on every failure path:
// parameters from the input (with methods 0 and 2, foreign ink sets and
// formats, a wrong version, a negative width, a non-zero flag, an unusable
// colour table), an optional extra block in the colour table, and every
// resource the sequence asks for (lists, grid levels, matrices, level
// records) as the input's next chunk, each in a block of exactly its length
// through the bounded worker. A completed object then halftones a few lines.
//
// A separated object re-samples its 32^4 table from the grid-levels resource,
// which takes longer than everything else in a run together. Only inputs
// whose bytes add up to a multiple of 16 get that far: one in sixteen, and as
// few of the inputs mutated from such an input, since nearly every mutation
// changes the sum. In the others the grid-levels resource is cut to at most
// 33 bytes, one short of a whole one, so the sequence ends there, on the path
// of a short resource. Method 0 has a table of two levels a channel and
// reaches the later calls in any case.
//
// Input: shape, resolution, inputScale, maxPixels (two bytes each), options
// (bit 0 an extra block and its chunk, bits 1-2 the method instead of the
// shape's, bit 3 one more byte of perturbation), one chunk per resource asked for, then the lines.
#include <cstddef>
#include <cstdint>

#include "frame/workers.h"
#include "fuzz_input.h"

namespace {

// A grid-levels resource is 34 bytes; shorter ones end the sequence.
constexpr size_t kShortGridLevels = 33;

// One field of the records set to what the library refuses or treats apart.
void perturb(uint8_t choice, HalftoneParams& params, CmLut& lut, int32_t& flag) {
    const int32_t n = choice >> 3;
    switch (choice & 7) {
        case 0: params.inkSet = n % 6; break;
        case 1: params.inputFormat = n % 8; break;
        case 2: params.version ^= 1 << (n % 8); break;
        case 3: params.maxPixels = -1 - n; break;
        case 4: flag = 1 + n; break;
        case 5: params.lineOption = n % 4; break;
        case 6: lut.channels = n % 8; break;
        default: lut.points[n % 4] = int32_t(n / 4); break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    HalftoneParams params = fuzz::halftoneParams(in);
    const uint8_t options = in.byte();
    const bool hasExtra = options & 1;
    static constexpr int32_t kMethods[] = {-1, 0, 2, 1};
    if (const int32_t method = kMethods[(options >> 1) & 3]; method >= 0) params.method = method;
    const uint8_t perturbation = (options & 8) ? in.byte() : 0;
    uint32_t sum = 0;
    for (size_t i = 0; i < size; ++i) sum += data[i];
    const bool wholeTable = sum % 16 == 0;

    const fuzz::Exact extra(hasExtra ? in.chunk() : fuzz::Bytes{});
    fuzz::Lut table(params.inkSet != 0, hasExtra ? extra.data() : nullptr);
    int32_t flag = 0;
    if (options & 8) perturb(perturbation, params, table.lut, flag);

    int32_t tableClass = 0;
    HalftoneContext* context = nullptr;
    if (inkdot::halftoneNew(&params, &table.lut, flag, &tableClass, &context, extra.size) !=
        INKDOT_OK)
        return 0;
    int32_t next = 0;
    int32_t result = INKDOT_OK;
    for (int asked = 0; result == INKDOT_OK && next != -1 && asked < 8; ++asked) {
        fuzz::Bytes resource = in.chunk();
        // The second call of a separated object reads the grid levels and
        // builds the table from them.
        if (asked == 1 && params.inkSet != 0 && !wholeTable && resource.size() > kShortGridLevels)
            resource.resize(kShortGridLevels);
        const fuzz::Exact exact(resource);
        result = inkdot::halftoneSetResource(context, exact.data(), exact.size, &next);
    }
    fuzz::runLines(in, params, 4, [&](auto... args) { inkdot::halftone(context, args...); });
    inkdot::halftoneDelete(context);
    return 0;
}
