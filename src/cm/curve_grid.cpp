#include "cm/curve_grid.h"

#include <cstddef>

namespace inkdot {

void bendGrid(CmLut& lut, const uint8_t* channelTables) {
    if (lut.grid == nullptr || lut.channels <= 0) return;
    size_t nodes = 1;
    for (int32_t points : lut.points) nodes *= points > 0 ? static_cast<size_t>(points) : 0;
    const auto channels = static_cast<size_t>(lut.channels);
    uint8_t* node = lut.grid;
    for (size_t n = 0; n < nodes; ++n, node += channels)
        for (size_t l = 0; l < channels; ++l) node[l] = channelTables[l * 256 + node[l]];
}

} // namespace inkdot
