// The colour matching through a whole sequence: the settings and the tagged
// items come from the input, and every resource the sequence asks for is the
// input's next chunk (the index, the colour table, the second index, the
// curve table, the maps). Each resource and item sits in a block of exactly
// its length; resources go through the bounded worker with that length.
//
// Input: media, quality, dots, inks, selection flags, item count; per item a
// tag choice and a chunk; then one chunk per resource asked for.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "frame/workers.h"
#include "fuzz_input.h"

namespace {

constexpr int32_t kTags[] = {INKDOT_TAG_CHANNEL_CURVES, INKDOT_TAG_CURVE_SELECTOR,
                             INKDOT_TAG_CURVE_SET, INKDOT_TAG_CURVE_SET_TABLE,
                             INKDOT_TAG_GAMMA_REF};
constexpr int kMaxItems = 4;
constexpr int kMaxResources = 8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    CmParams params{};
    CmSelect select{};
    params.keyB = in.byte() % 4;
    select.numberA = in.byte() % 6;
    select.numberB = in.byte() % 3;
    params.numberC = (in.byte() & 1) ? 6 : 4;
    const uint8_t flags = in.byte();
    select.keyA = (flags & 1) ? 3 : 0;
    select.level = (flags & 2) ? 1 : 2;
    select.pixelLayout = (flags & 4) ? 0 : 1;
    select.greyCurve = (flags >> 3) & 1;
    select.numberD = (flags & 16) ? 2 : 1;
    params.colorMode = (flags & 32) ? 2 : 0;
    params.greyMode = (flags & 64) ? 50 : 0;

    // The caller's tag list and its items, alive for the whole object.
    const int items = in.byte() % (kMaxItems + 1);
    std::vector<fuzz::Exact> itemBlocks;
    itemBlocks.reserve(kMaxItems);
    struct {
        int32_t count;
        CmTagPair pairs[kMaxItems];
    } list{};
    for (int i = 0; i < items; ++i) {
        const int32_t tag = kTags[in.byte() % 5];
        itemBlocks.emplace_back(in.chunk());
        list.pairs[i] = {tag, itemBlocks.back().data()};
    }
    list.count = items;
    params.tags = items > 0 ? reinterpret_cast<const CmTagList*>(&list) : nullptr;

    int32_t next = -1;
    CmContext* context = nullptr;
    if (inkdot::cmNew(&params, &select, 0, &next, &context) != INKDOT_OK) return 0;
    int32_t result = INKDOT_OK;
    for (int asked = 0; result == INKDOT_OK && next != -1 && asked < kMaxResources; ++asked) {
        const fuzz::Exact resource(in.chunk());
        result = inkdot::cmSetResource(context, resource.data(), resource.size, &next);
    }
    if (CmLut* lut = inkdot::cmGetLut(context); result == INKDOT_OK && next == -1 && lut) {
        // Read the finished table end to end, so a grid shorter than its
        // points claim shows up here.
        volatile uint8_t sink = 0;
        size_t nodes = 1;
        for (int32_t p : lut->points) nodes *= size_t(p > 0 ? p : 1);
        if (lut->grid != nullptr && lut->channels > 0)
            for (size_t i = 0; i < nodes * size_t(lut->channels); ++i) sink = sink ^ lut->grid[i];
    }
    inkdot::cmDelete(context);
    return 0;
}
