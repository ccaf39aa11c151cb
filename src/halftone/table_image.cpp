// The halftone table image: the colour grid (or the single-channel curve) of
// a CmLut, the position of every input value on the grid's axes, and for
// two-bit output the level records spread over 1024 entries, packed into one
// self-contained little-endian byte image that the caller takes away.
#include <cstring>

#include "frame/mem_block.h"
#include "frame/workers.h"
#include "halftone/resource_format.h"

// The table-image object: copies of the caller's records and curves.
struct HTableContext {
    HalftoneParams params;
    CmLut lut;
    uint8_t curves[3][256];  // input value -> value on axis 0, 1, 2
    inkdot::platform::Handle ownHandle;
    int32_t planes;   // bytes per grid node in the image
    int32_t convert;  // undo the one-bit dot-value curve on the grid bytes
};

namespace inkdot {
namespace {

constexpr int kAxisEntries = 256;
constexpr int kLevelEntries = 1024;

void putLe32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Undoes the one-bit dot-value curve of the percentages with rounding. A
// value the curve would push above 255 is stored as 255 (its low byte would
// turn the darkest values into no ink); with percentages whose curve is zero
// there is nothing to undo and the byte stays as it is.
uint8_t convertValue(uint8_t v, int32_t percentAt0, int32_t percentAt255) {
    int64_t n = 255 - v;
    int64_t d =
        255 * int64_t{percentAt255} + ((int64_t{percentAt0} - percentAt255) * n * n + 1) / 255;
    if (d <= 0) return v;
    int64_t converted = (255000 * int64_t{v} / d + 5) / 10;
    return static_cast<uint8_t>(converted > 255 ? 255 : converted);
}

// Axis table: for every input value, (fraction in 1/64 of a cell, cell index)
// on a list laid out for 17 levels. The search never leaves the list's own
// points, so shorter lists neither read stale bytes nor divide by zero.
void writeAxisTable(uint8_t* out, const uint8_t* curve, const uint8_t* list, int32_t points) {
    int32_t limit = points - 1 < 16 ? points - 1 : 16;
    for (int j = 0; j < kAxisEntries; ++j) {
        int32_t u = curve[j];
        int32_t i = 0;
        while (i < limit && u >= list[i + 1]) ++i;
        int32_t fraction = 0;
        if (i + 1 < points && list[i + 1] != list[i])
            fraction = (u - list[i]) * 64 / (list[i + 1] - list[i]);
        out[2 * j] = static_cast<uint8_t>(fraction);
        out[2 * j + 1] = static_cast<uint8_t>(i);
    }
}

uint32_t packLevel(const int32_t field[3]) {
    return static_cast<uint32_t>(field[0]) | static_cast<uint32_t>(field[1]) << 10 |
           static_cast<uint32_t>(field[2]) << 20;
}

// The 1024 level entries from a level-record resource: each record followed
// by its interpolations toward the next, the last record repeated to the end
// of the section, which always holds exactly 1024 entries. Returns
// false when the resource is shorter than the records it declares.
bool writeLevelEntries(uint8_t* out, const uint8_t* records, size_t length) {
    size_t start = 0;
    int32_t count = 256;
    if (length >= 8 && std::memcmp(records + 4, kLevelRecordSignature, 4) == 0) {
        if (length < 20) return false;
        start = 32;
        count = readLe16(records + 18);
    }
    if (count > 0 && length < start + 3 * static_cast<size_t>(count)) return false;
    // A count of 0 has no records to spread; more than 1024 would write past
    // the section. Both are clamped into what the section holds.
    if (count > kLevelEntries) count = kLevelEntries;
    if (count == 0) {
        std::memset(out, 0, 4 * kLevelEntries);
        return true;
    }
    const uint8_t* record = records + start;
    int32_t n = kLevelEntries / count;
    int32_t written = 0;
    for (int32_t r = 0; r < count; ++r) {
        int32_t field[3], next[3];
        for (int k = 0; k < 3; ++k) field[k] = 4 * record[3 * r + k];
        if (r + 1 == count) {
            // The last record fills the section to its end: n times when the
            // count divides 1024, and the remainder too when it does not.
            while (written < kLevelEntries) putLe32(out + 4 * written++, packLevel(field));
            break;
        }
        for (int k = 0; k < 3; ++k) next[k] = 4 * record[3 * (r + 1) + k];
        putLe32(out + 4 * written++, packLevel(field));
        for (int32_t s = 1; s < n; ++s) {
            int32_t between[3];
            for (int k = 0; k < 3; ++k) between[k] = field[k] + s * (next[k] - field[k]) / n;
            putLe32(out + 4 * written++, packLevel(between));
        }
    }
    return true;
}

}  // namespace

int32_t hHalftoneNew(const HalftoneParams* params, const CmLut* lut, int32_t /*unused*/,
                     const uint8_t* curves, int32_t* extraValue, HTableContext** handle,
                     size_t extraLength) {
    if (params == nullptr) return INKDOT_BAD_FIRST_RECORD;
    if (lut == nullptr) return INKDOT_BAD_SECOND_RECORD;

    platform::Handle ownHandle = nullptr;
    void* address = nullptr;
    int32_t result = allocateLocked(sizeof(HTableContext), true, ownHandle, address);
    if (result != INKDOT_OK) return result;
    auto* table = static_cast<HTableContext*>(address);
    *handle = table;
    table->ownHandle = ownHandle;
    table->params = *params;
    table->lut = *lut;
    if (curves != nullptr) std::memcpy(table->curves, curves, sizeof table->curves);

    int32_t inkSet = params->inkSet;
    table->planes = inkSet == 0 ? 1 : inkSet == 1 ? 4 : 6;
    table->convert = params->outputBits == 1 && (inkSet == 0 || inkSet == 1);

    // The value the caller wants from the extra block, chosen by its code. A
    // block too short for the code or the value leaves value out alone.
    if (const ByteView extra(lut->extraBlock, extraLength); extra.covers(4, 2)) {
        size_t offset = 0;
        switch (extra.s16(4)) {
            case 1: offset = 6; break;
            case 2: offset = inkSet != 0 ? 16 : 18; break;
            case 3: offset = inkSet != 0 ? 16 : 20; break;
            default: break;
        }
        if (offset != 0 && extra.covers(offset, 2)) *extraValue = extra.s16(offset);
    }
    return INKDOT_OK;
}

int32_t hHalftoneGetTable(HTableContext* context, const void* records, size_t length,
                          int32_t* nextResource, int32_t* imageLength, uint8_t* image) {
    const HTableContext& table = *context;
    const CmLut& lut = table.lut;
    bool twoBit = table.params.outputBits == 2;
    if (twoBit && records == nullptr) return INKDOT_SEQUENCE_ENDED;

    image[0] = 'H';
    image[1] = table.params.outputBits == 1 ? 4 : 5;

    // Grid section.
    uint8_t* grid = image + 6;
    uint32_t gridLength;
    if (table.params.inkSet == 0) {
        int32_t points = lut.points[2] < 0 ? 0 : lut.points[2] > 72 ? 72 : lut.points[2];
        gridLength = static_cast<uint32_t>(points);
        for (int32_t i = 0; i < points; ++i) grid[i] = lut.singleChannelTable[lut.list2[i]];
    } else {
        uint32_t n = lut.points[0] < 0 ? 0u : static_cast<uint32_t>(lut.points[0]);
        gridLength = n * n * n * static_cast<uint32_t>(table.planes);
        // Copy no more than the grid holds; a grid too small for the image
        // (or none at all) leaves the rest of the section zero.
        uint64_t available = 1;
        for (int axis = 0; axis < 4; ++axis)
            available *= lut.points[axis] > 0 ? static_cast<uint64_t>(lut.points[axis]) : 0u;
        available *= lut.channels > 0 ? static_cast<uint64_t>(lut.channels) : 0u;
        if (lut.grid == nullptr) available = 0;
        uint32_t copied = available < gridLength ? static_cast<uint32_t>(available) : gridLength;
        if (copied != 0) std::memcpy(grid, lut.grid, copied);
        std::memset(grid + copied, 0, gridLength - copied);
    }
    if (table.convert)
        for (uint32_t i = 0; i < gridLength; ++i)
            grid[i] = convertValue(grid[i], lut.percentAt0, lut.percentAt255);
    putLe32(image + 2, gridLength);
    uint32_t size = 2 + gridLength + 4;

    // The three axis sections; axes 0 and 1 exist only for colour grids.
    const uint8_t* lists[3] = {lut.list0, lut.list1, lut.list2};
    for (int k = 0; k < 3; ++k) {
        uint8_t* section = image + size;
        putLe32(section, 2 * kAxisEntries);
        if (table.params.inkSet == 0 && k < 2)
            std::memset(section + 4, 0, 2 * kAxisEntries);
        else
            writeAxisTable(section + 4, table.curves[k], lists[k], lut.points[k]);
        size += 4 + 2 * kAxisEntries;
    }

    if (twoBit) {
        uint8_t* section = image + size;
        putLe32(section, 4 * kLevelEntries);
        if (!writeLevelEntries(section + 4, static_cast<const uint8_t*>(records), length))
            return INKDOT_SEQUENCE_ENDED;
        size += 4 + 4 * kLevelEntries;
    }

    *nextResource = INKDOT_NO_RESOURCE;
    *imageLength = static_cast<int32_t>(size);
    return INKDOT_OK;
}

int32_t hHalftoneDelete(HTableContext* context) {
    return unlockAndFree(context->ownHandle);
}

}  // namespace inkdot
