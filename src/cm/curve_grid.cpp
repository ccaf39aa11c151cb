#include "cm/curve_grid.h"

#include <cstddef>

#include "cm/grid_block.h"

namespace inkdot {

void bendGrid(CmLut& lut, const uint8_t* channelTables) {
    if (lut.grid == nullptr || lut.channels <= 0) return;
    const auto channels = static_cast<size_t>(lut.channels);
    uint8_t* const end = lut.grid + gridBytes(lut);
    for (uint8_t* node = lut.grid; node < end; node += channels)
        for (size_t l = 0; l < channels; ++l) node[l] = channelTables[l * 256 + node[l]];
}

}  // namespace inkdot
