// H_HalftoneGetTable: the ink set, depth, curves, table shape and now and
// then an extra block come from the input, and the level-record resource is
// the rest of it; both in blocks of exactly their length through the bounded
// workers. The image buffer is sized for the largest image the table can give
// and checked against the length the call reports.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "frame/workers.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t shape = in.byte();
    HalftoneParams params{};
    static constexpr int32_t kInkSets[] = {0, 1, 3, 3};
    params.inkSet = kInkSets[shape & 3];
    params.outputBits = (shape & 4) ? 2 : 1;
    params.method = 1;
    params.version = INKDOT_HALFTONE_VERSION;
    fuzz::Lut table(params.inkSet != 0);
    // Tables of other shapes, now and then.
    if (shape & 8) table.lut.points[0] = in.value(0, 40);
    if (shape & 16) table.lut.points[2] = in.value(-4, 80);
    // The grid holds what the points say, as a table from the colour
    // matching always does.
    size_t nodes = 1;
    for (int32_t p : table.lut.points) nodes *= size_t(p > 0 ? p : 0);
    table.grid.resize(nodes * size_t(table.lut.channels) + 1, 0x55);
    table.lut.grid = table.grid.data();
    table.lut.gridHandle = table.grid.data();
    fuzz::Bytes curves = (shape & 32) ? in.chunk() : fuzz::Bytes{};
    curves.resize(768, 0);
    // An extra block of exactly its length, now and then.
    const fuzz::Exact extra((shape & 64) ? in.chunk() : fuzz::Bytes{});
    if (shape & 64) table.lut.extraBlock = const_cast<uint8_t*>(extra.data());

    int32_t extraValue = 0;
    HTableContext* context = nullptr;
    if (inkdot::hHalftoneNew(&params, &table.lut, 0, (shape & 32) ? curves.data() : nullptr,
                             &extraValue, &context, extra.size) != INKDOT_OK)
        return 0;
    const fuzz::Exact records(in.rest());
    const uint32_t n = uint32_t(table.lut.points[0] > 0 ? table.lut.points[0] : 0);
    std::vector<uint8_t> image(6 + n * n * n * 6 + 80 + 3 * (4 + 512) + 4 + 4096 + 64);
    int32_t next = 0, length = 0;
    if (inkdot::hHalftoneGetTable(context, records.data(), records.size, &next, &length,
                                  image.data()) == INKDOT_OK &&
        (length < 0 || size_t(length) > image.size()))
        __builtin_trap();
    inkdot::hHalftoneDelete(context);
    return 0;
}
