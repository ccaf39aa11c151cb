// Re-sampling a four-dimensional colour grid onto other levels: the separation
// table of the halftone object.
//
// Each entry is exactly what the four-dimensional interpolation gives for one
// point (interpolate4 stays the reference the tests hold this to), but the
// work that points share is done once: the cells of every level on every axis
// up front, the tetrahedron once per (axis 0, 1, 2) point, and the weighted
// corner sums once per node of axis 3. The last division is a multiplication
// by an exact reciprocal. Building the 32^4 table runs once per page.
#pragma once

#include <cstddef>
#include <cstdint>

#include "inkdot/inkdot.h"

namespace inkdot {

// What happens to each entry once it is sampled.
enum class GridFinish {
    asSampled,
    pairTransfer,  // six channels or more: pairTransfer below
};

// Samples `source` (a four-dimensional grid the interpolation can walk, see
// interpolationReady) at every point (g0[i], g1[j], g2[k], g0[l]) of the lists
// and counts of `target`, axis 0 outermost and axis 0 again innermost. The c
// channel bytes of each point go to the start of its entry; entries lie
// `entryBytes` apart (at least c).
void resampleGrid(const CmLut& source, const CmLut& target, uint8_t* table, size_t entryBytes,
                  GridFinish finish = GridFinish::asSampled);

// The pair transfer of an entry of six ink amounts e0..e5, for diffusion: of
// the ink pairs (e0 dark, e1 light) and (e2 dark, e3 light), each sharing the
// area with e5, light ink that would overfill the area moves to the dark ink,
// three parts of light for one of dark; then e0..e3 are clamped to 254. The
// amounts form takes the six as int32 (0..255) and changes them in place.
inline void pairTransferAmounts(int32_t* v) {
    auto transfer = [](int32_t& dark, int32_t& light, int32_t shared) {
        const int32_t weighted = light + 2 * dark + 2 * shared - 511;
        const int32_t half = (dark + light + shared - 253) / 2;  // > 0 only above 254
        int32_t over = weighted > half ? weighted : half;
        over = over > 0 ? over : 0;
        const bool allOfIt = light < 3 * over;
        dark += allOfIt ? light / 3 : over;
        light = allOfIt ? 0 : light - 3 * over;
    };
    transfer(v[0], v[1], v[5]);
    transfer(v[2], v[3], v[5]);
    for (int i = 0; i < 4; ++i) v[i] = v[i] < 254 ? v[i] : 254;
}

inline void pairTransfer(uint8_t* e) {
    int32_t v[6] = {e[0], e[1], e[2], e[3], e[4], e[5]};
    pairTransferAmounts(v);
    for (int i = 0; i < 4; ++i) e[i] = static_cast<uint8_t>(v[i]);
}

}  // namespace inkdot
