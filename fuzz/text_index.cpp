// The text index alone: the whole input is resource 0, read through the
// bounded worker in a block of exactly its length. The first byte picks the
// keys the index is searched with.
#include <cstddef>
#include <cstdint>

#include "frame/workers.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t keys = in.byte();
    CmParams params{};
    CmSelect select{};
    params.keyB = keys & 3;
    select.numberA = 1 + ((keys >> 2) & 3);
    select.numberB = 1 + ((keys >> 4) & 1);
    params.numberC = (keys & 32) ? 6 : 4;
    select.keyA = (keys & 64) ? 3 : 0;
    select.pixelLayout = 1;
    select.level = 2;
    select.numberD = (keys & 128) ? 2 : 1;
    int32_t next = -1;
    CmContext* context = nullptr;
    if (inkdot::cmNew(&params, &select, 0, &next, &context) != INKDOT_OK) return 0;
    const fuzz::Exact index(in.rest());
    inkdot::cmSetResource(context, index.data(), index.size, &next);
    inkdot::cmDelete(context);
    return 0;
}
