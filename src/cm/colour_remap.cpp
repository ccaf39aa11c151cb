// Colour re-mapping. A table's tweaks bend its input colours before the grid
// is looked up: they work on the complements X, Y, Z (ink-like amounts), pull
// a single dominant component towards the others, widen or narrow the gap
// below a single lowest component, and turn the hue away from the lowest one.
#include "cm/colour_remap.h"

#include <algorithm>
#include <cstring>

#include "cm/cm_context.h"
#include "cm/colour_table.h"
#include "cm/grid_block.h"
#include "cm/interpolation.h"

namespace inkdot {
namespace {

constexpr int16_t kGreyShareType = 51;

// The component strictly greater (or smaller) than both others, or -1.
int32_t single(const int32_t v[3], bool greatest) {
    for (int32_t i = 0; i < 3; ++i) {
        int32_t a = v[(i + 1) % 3], b = v[(i + 2) % 3];
        if (greatest ? (v[i] > a && v[i] > b) : (v[i] < a && v[i] < b)) return i;
    }
    return -1;
}

int32_t otherMax(const int32_t v[3], int32_t i) {
    return std::max(v[(i + 1) % 3], v[(i + 2) % 3]);
}
int32_t otherMin(const int32_t v[3], int32_t i) {
    return std::min(v[(i + 1) % 3], v[(i + 2) % 3]);
}

// Every component moves towards the grey it shares with the others by the
// table's own share curve.
void shareGrey(const uint8_t share[256], int32_t v[3]) {
    int32_t m = std::min({v[0], v[1], v[2]});
    for (int32_t i = 0; i < 3; ++i) {
        int32_t x = v[i];
        if (x != 0) v[i] = ((x - m) * x + m * share[x] + x / 2) / x;
    }
}

bool keepsDiagonalNodes(const CmContext& cm) {
    // The node-curve block holds the diagonal nodes only when the decoder
    // filled it (match mode 0); otherwise the diagonal is interpolated like
    // every other node rather than taken from an empty block.
    return cm.lut->keepGrey == 1 && (cm.tableType == 50 || cm.tableType == kGreyShareType) &&
           cm.params.matchMode == 0;
}

}  // namespace

void tweakColour(const CmContext& cm, int32_t colour[3]) {
    const int16_t* u = cm.tableAdjust;       // U0..U2
    const int16_t* vv = cm.tableAdjust + 3;  // V0..V2
    const int16_t* s = cm.tableAdjust + 6;   // S0..S2
    int32_t v[3] = {255 - colour[0], 255 - colour[1], 255 - colour[2]};

    if (cm.tableType == kGreyShareType) shareGrey(cm.greyShare, v);

    if (int32_t d = single(v, true); d >= 0)
        v[d] = std::max(0, v[d] - (v[d] - otherMax(v, d)) * u[d] / 100);

    if (int32_t l = single(v, false); l >= 0) {
        int32_t g = (otherMin(v, l) - v[l]) * vv[l] / 100;
        v[(l + 1) % 3] -= g;
        v[(l + 2) % 3] -= g;
        for (int32_t& x : v) x = std::max(0, x);
    }

    // The hue shift lowers a neighbour of the lowest component: the one after
    // it (X -> Y -> Z -> X) for a positive strength, the one before it for a
    // negative strength (g is negative then).
    if (int32_t l = single(v, false); l >= 0) {
        int32_t strength = s[l];
        int32_t g = ((otherMin(v, l) - v[l]) * strength + (strength >= 0 ? 50 : -50)) / 100;
        if (strength >= 0)
            v[(l + 1) % 3] -= g;
        else
            v[(l + 2) % 3] += g;
    }
    for (int32_t i = 0; i < 3; ++i) colour[i] = 255 - std::clamp(v[i], 0, 255);
}

int32_t remapColours(CmContext& cm) {
    CmLut& lut = *cm.lut;
    GridBlock fresh;
    if (int32_t result = allocateGrid(lut, fresh); result != INKDOT_OK) return result;

    const bool tweak = cm.params.matchMode == 0;
    const bool keepDiagonal = keepsDiagonalNodes(cm);
    const size_t c = static_cast<size_t>(lut.channels);
    resampleRows(
        lut, fresh.data,
        [&](int32_t i, int32_t j, int32_t k, uint8_t* rgb) {
            int32_t colour[3] = {lut.list0[i], lut.list1[j], lut.list2[k]};
            if (tweak) tweakColour(cm, colour);
            for (int32_t ch = 0; ch < 3; ++ch) rgb[ch] = static_cast<uint8_t>(colour[ch]);
        },
        [&](int32_t i, int32_t j, uint8_t* row) {
            if (keepDiagonal && i == j) std::memcpy(row + i * c, cm.nodeCurves + i * c, c);
        });
    return replaceGrid(lut, fresh);
}

void buildSingleChannelTable(CmContext& cm) {
    CmLut& lut = *cm.lut;
    const int32_t c = lut.channels;
    uint8_t out[32];
    if (cm.tableType == kFourDimensionalType) {
        // The black axis, from no black up.
        for (int32_t x = 0; x < 256; ++x) {
            interpolate4(lut, 0, 0, 0, static_cast<uint8_t>(x), out);
            lut.singleChannelTable[255 - x] = out[c - 1];
        }
        return;
    }
    // The grey axis. Below 255 a kind-0 table never holds 255 and the other
    // kinds never hold 0.
    for (int32_t x = 0; x < 256; ++x) {
        uint8_t pixel[4] = {0, static_cast<uint8_t>(x), static_cast<uint8_t>(x),
                            static_cast<uint8_t>(x)};
        interpolate3(lut, lut.grid, 1, pixel, out);
        uint8_t v = out[c - 1];
        if (x != 255) {
            if (lut.tableKind == 0 && v == 255) v = 254;
            if (lut.tableKind != 0 && v == 0) v = 1;
        }
        lut.singleChannelTable[x] = v;
    }
}

}  // namespace inkdot
