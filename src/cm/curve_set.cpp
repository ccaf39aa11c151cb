// Curve sets. A four-channel set bends values in the gain-corrected domain
// (gain table, curve, inverse gain), a six-channel set bends them directly;
// curve 0 is always the curve of the last channel and of the single-channel
// table.
#include "cm/curve_set.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "cm/cm_context.h"
#include "cm/curve_grid.h"
#include "cm/curve_tags.h"
#include "cm/gain.h"
#include "cm/index_text.h"
#include "frame/mem_block.h"
#include "frame/workers.h"

namespace inkdot {
namespace {

// Which curve of a set bends output channel l.
constexpr int32_t kCurveOfChannel4[4] = {1, 2, 3, 0};
constexpr int32_t kCurveOfChannel6[6] = {1, 4, 2, 5, 3, 0};

// The parsed tag-544 table. The names stay in the item's text.
struct CurveSetLine {
    int32_t block;
    int32_t numberA;
    int32_t numberB;
    int32_t numberC;
    int32_t numberD;
    Token name;
};
struct CurveSetScratch {
    CurveSetLine lines[kMaxCurveSetLines];
    Token names[kMaxCurveSetNames];
};
static_assert(sizeof(CurveSetScratch) <= kCurveSetScratchBytes,
              "the scratch block holds every line and name");

// Only a table of version 200 carries numberD in column 6.
constexpr int32_t kVersionWithNumberD = 200;

// Reads the entry lines up to the line that begins with a slash (skipped too);
// -1 when there are more than fit.
int32_t readLines(TextCursor& cursor, int32_t version, CurveSetLine* lines) {
    int32_t count = 0;
    while (!cursor.atTextEnd()) {
        Token first = cursor.token();
        if (first.startsWith('/')) break;
        if (first.empty() && cursor.atTextEnd()) break;
        if (count == kMaxCurveSetLines) return -1;
        CurveSetLine& line = lines[count++];
        line.block = tokenNumber(first);
        line.name = cursor.token();
        line.numberA = tokenNumber(cursor.token());
        line.numberB = tokenNumber(cursor.token());
        line.numberC = tokenNumber(cursor.token());
        line.numberD = version == kVersionWithNumberD ? tokenNumber(cursor.token()) : 1;
        cursor.skipLine();
    }
    cursor.skipLine();  // the end line
    return count;
}

// Reads the name list line; -1 when it holds more names than fit.
int32_t readNames(TextCursor& cursor, Token* names) {
    int32_t count = 0;
    for (Token t = cursor.token(); !t.empty(); t = cursor.token()) {
        if (count == kMaxCurveSetNames) return -1;
        names[count++] = t;
    }
    return count;
}

// Position of `name` in the list (the later one when it repeats), else 0.
int32_t keyOf(const Token* names, int32_t count, Token name) {
    int32_t key = 0;
    for (int32_t i = 0; i < count; ++i)
        if (names[i] == name) key = i;
    return key;
}

// Just after the third "//" of the item, past the rest of its line and the
// line ends after it. The count starts at the item itself: bytes in front of
// the text (a container's header) are searched byte by byte, since NUL does
// not end them; in the text the search ends with the text. Null when the
// item has fewer than three markers.
const uint8_t* binaryStart(const uint8_t* item, const uint8_t* text) {
    TextCursor cursor(item, kUnbounded);
    const auto textStart = static_cast<size_t>(text - item);
    int32_t markers = 0;
    size_t pos = 0;
    while (pos < textStart && markers < 3) {
        if (item[pos] == '/' && item[pos + 1] == '/') {
            ++markers;
            pos += 2;
        } else {
            ++pos;
        }
    }
    cursor.setPosition(pos);
    while (markers < 3 && cursor.findMarker()) ++markers;
    if (markers < 3) return nullptr;
    cursor.skipLine();
    return item + cursor.position();
}

// Container form: "TUNA" at 0, byte 96 must be 2, the 16-bit value at 264
// 2 or 3, byte 256 1; the text starts at the 32-bit offset at 100.
int32_t locateText(const uint8_t* item, const uint8_t** text) {
    *text = item;
    if (std::memcmp(item, "TUNA", 4) != 0) return INKDOT_OK;
    uint32_t format = item[264] | uint32_t{item[265]} << 8;
    if (item[96] != 2 || (format != 2 && format != 3)) return INKDOT_CONTAINER_FORMAT;
    if (item[256] != 1) return INKDOT_CONTAINER_VERSION;
    uint32_t offset = item[100] | uint32_t{item[101]} << 8 | uint32_t{item[102]} << 16 |
                      uint32_t{item[103]} << 24;
    *text = item + offset;
    return INKDOT_OK;
}

// Fills a set for a c-channel grid from a block of c curves: curves 0..3 of
// the block become curves 1, 2, 3, 0 of the set, and for six channels 4 and 5
// stay 4 and 5. Any channel count but 4 and 6 gives a type-3 set without
// curves, which applying rejects.
void fillSet(uint8_t* set, const uint8_t* block, int32_t channels) {
    set[0] = channels == 4 ? kCurveSetFourChannels : kCurveSetSixChannels;
    set[1] = 1;
    if (channels != 4 && channels != 6) return;
    constexpr int32_t kSetCurveOfBlockCurve[6] = {1, 2, 3, 0, 4, 5};
    for (int32_t k = 0; k < channels; ++k)
        std::memcpy(set + 2 + 256 * kSetCurveOfBlockCurve[k], block + 256 * k, 256);
}

// Frees the step's own blocks in reverse order; the first failure counts.
int32_t releaseHandles(platform::Handle* handles, int32_t count) {
    int32_t result = INKDOT_OK;
    for (int32_t i = count - 1; i >= 0; --i) {
        if (handles[i] == nullptr) continue;
        int32_t r = unlockAndFree(handles[i]);
        if (result == INKDOT_OK) result = r;
    }
    return result;
}

// Builds a set from the tag-544 item and applies it. That the set may not
// fit the grid is not reported: printing goes on without the curves.
int32_t applyCurveSetTable(CmContext& cm, const uint8_t* item) {
    CmLut& lut = *cm.lut;
    const int32_t channels = std::max(lut.channels, 0);
    const auto blockBytes = static_cast<uint32_t>(channels) * 256;

    enum { kSet, kWork, kScratch, kBlocks };
    platform::Handle handles[kBlocks] = {};
    void* address[kBlocks] = {};
    int32_t result = allocateLocked(kCurveSetBytes, true, handles[kSet], address[kSet]);
    // A zero-byte block cannot be locked everywhere; a grid without channels
    // still gets one byte.
    if (result == INKDOT_OK)
        result = allocateLocked(std::max(blockBytes, 1u), true, handles[kWork], address[kWork]);

    const uint8_t* text = nullptr;
    if (result == INKDOT_OK) result = locateText(item, &text);
    if (result == INKDOT_OK)
        result = allocateLocked(kCurveSetScratchBytes, true, handles[kScratch], address[kScratch]);

    CurveBlockChoice choice{};
    if (result == INKDOT_OK) result = chooseCurveBlock(cm, item, text, address[kScratch], &choice);
    // The block's offset is formed wide: a large block number must not wrap
    // round to some other place in the address space.
    const uint64_t offset = uint64_t{static_cast<uint32_t>(choice.block)} * blockBytes;
    if (result == INKDOT_OK && offset > PTRDIFF_MAX) result = INKDOT_SEQUENCE_ENDED;
    if (result == INKDOT_OK) {
        auto* set = static_cast<uint8_t*>(address[kSet]);
        auto* work = static_cast<uint8_t*>(address[kWork]);
        std::memcpy(work, choice.binary + offset, blockBytes);
        fillSet(set, work, channels);
        applyCurveSet(set, lut);
    }
    int32_t released = releaseHandles(handles, kBlocks);
    return result != INKDOT_OK ? result : released;
}

}  // namespace

void buildGainTables(int32_t percentAt0, int32_t percentAt255, GainTables& tables) {
    for (int32_t n = 0; n < 256; ++n)
        tables.gain[n] = gainCorrectionByte(n, percentAt0, percentAt255);

    // Walk up the gain table to the first entry at or above k and interpolate
    // linearly between it and the one before. The entry before is always
    // below k, so the divisor is positive.
    tables.inverse[0] = 0;
    int32_t l = 0;
    int32_t at = 0;
    int32_t before = 0;
    for (int32_t k = 1; k < 256; ++k) {
        while (k > at && l < 255) {
            before = at;
            ++l;
            at = tables.gain[l];
        }
        tables.inverse[k] = static_cast<uint8_t>(
            l == 255 ? 255 : ((at - k) * (l - 1) + (k - before) * l) / (at - before));
    }
}

int32_t applyCurveSet(const uint8_t* set, CmLut& lut) {
    const uint8_t type = set[0];
    const int32_t* curveOfChannel = nullptr;
    if (type == kCurveSetFourChannels && lut.channels == 4) curveOfChannel = kCurveOfChannel4;
    if (type == kCurveSetSixChannels && lut.channels == 6) curveOfChannel = kCurveOfChannel6;
    if (curveOfChannel == nullptr) return INKDOT_UNSUPPORTED;

    GainTables g;
    buildGainTables(lut.percentAt0, lut.percentAt255, g);

    // One composed table per channel, so each grid byte costs one look-up.
    uint8_t tables[6][256];
    for (int32_t l = 0; l < lut.channels; ++l) {
        const uint8_t* curve = curveOf(set, curveOfChannel[l]);
        for (int32_t v = 0; v < 256; ++v)
            tables[l][v] = type == kCurveSetSixChannels ? curve[v] : g.inverse[curve[g.gain[v]]];
    }
    bendGrid(lut, tables[0]);

    const uint8_t* curve0 = curveOf(set, 0);
    for (uint8_t& entry : lut.singleChannelTable) entry = g.inverse[curve0[g.gain[entry]]];
    return INKDOT_OK;
}

int32_t chooseCurveBlock(const CmContext& cm, const uint8_t* item, const uint8_t* text,
                         void* scratch, CurveBlockChoice* choice) {
    auto* parsed = static_cast<CurveSetScratch*>(scratch);
    TextCursor cursor(text, kUnbounded);
    cursor.findMarker();
    const int32_t version = tokenNumber(cursor.token());
    cursor.skipLine();  // the marker line
    cursor.skipLine();  // the header

    const int32_t lineCount = readLines(cursor, version, parsed->lines);
    if (lineCount < 0) return INKDOT_SEQUENCE_ENDED;
    const int32_t nameCount = readNames(cursor, parsed->names);
    if (nameCount < 0) return INKDOT_SEQUENCE_ENDED;

    choice->block = 0;
    for (int32_t i = 0; i < lineCount; ++i) {
        const CurveSetLine& line = parsed->lines[i];
        if (line.numberA == cm.select.numberA && line.numberB == cm.select.numberB &&
            keyOf(parsed->names, nameCount, line.name) == cm.params.keyB &&
            line.numberC == cm.params.numberC && line.numberD == cm.select.numberD)
            choice->block = line.block;
    }
    // A block before the binary part is never one of the item's.
    if (choice->block < 0) return INKDOT_SEQUENCE_ENDED;
    choice->binary = binaryStart(item, text);
    return choice->binary == nullptr ? INKDOT_SEQUENCE_ENDED : INKDOT_OK;
}

int32_t runCurveSets(CmContext& cm, bool* present) {
    *present = true;
    if (const void* set = findTag(cm.params.tags, INKDOT_TAG_CURVE_SET))
        return applyCurveSet(static_cast<const uint8_t*>(set), *cm.lut);
    if (const void* table = findTag(cm.params.tags, INKDOT_TAG_CURVE_SET_TABLE))
        return applyCurveSetTable(cm, static_cast<const uint8_t*>(table));
    *present = false;
    return INKDOT_OK;
}

}  // namespace inkdot
