#include "cm/grid_block.h"

#include "frame/mem_block.h"

namespace inkdot {

uint32_t gridBytes(const CmLut& lut) {
    return static_cast<uint32_t>(lut.points[0]) * lut.points[1] * lut.points[2] * lut.points[3] *
           lut.channels;
}

int32_t allocateGrid(const CmLut& lut, GridBlock& block) {
    void* address = nullptr;
    int32_t result = allocateLocked(gridBytes(lut), true, block.handle, address);
    block.data = static_cast<uint8_t*>(address);
    return result;
}

void discardGrid(GridBlock& block) {
    if (block.handle != nullptr) unlockAndFree(block.handle);
    block = GridBlock{};
}

int32_t replaceGrid(CmLut& lut, GridBlock& block) {
    int32_t result = lut.gridHandle != nullptr ? unlockAndFree(lut.gridHandle) : INKDOT_OK;
    lut.grid = block.data;
    lut.gridHandle = block.handle;
    block = GridBlock{};
    return result;
}

}  // namespace inkdot
