// The halftone object and the named tables of its block table.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/mem_block.h"
#include "inkdot/inkdot.h"
#include "kernels/kernels.h"

namespace inkdot {

// How an object processes its lines, fixed when it is made. The numbers are
// the ones the object's record has always held.
enum class Mode : int32_t {
    plain = 0,               // the kernel follows from method, ink set, depth and resolution
    pairsSeparated = 1,      // half width, two bits, four channels read in pairs
    pairsSingleInk = 3,      // half width, two bits, one ink read in pairs
    halfWidthSeparated = 4,  // half width, two bits, four channels
    halfWidthSingleInk = 6,  // half width, two bits, one ink
    separationPath = 7,      // six inks by ordered dither: byte or one-bit output
};

}  // namespace inkdot

// Everything the halftone engine needs to turn raster lines into dots. Lives
// in one zero-filled, locked global-memory block created by HalftoneNew; the
// tables and line buffers live in the blocks of `blocks`.
struct HalftoneContext {
    HalftoneParams params;     // the caller's record; inputScale is rewritten
    int16_t resourceList[16];  // resource numbers of the first call, ended by -1
    CmLut lut;                 // the caller's CmLut; the grid address may be re-pointed
    inkdot::BlockTable blocks;
    int32_t errorLineCount;
    inkdot::kernels::LineState line;  // what the kernel keeps between calls
    int32_t phase;                    // HalftoneSetResource calls so far
    inkdot::platform::Handle ownHandle;
    int32_t matrixWidth;
    int32_t matrixHeight;
    int32_t matrixSize;
    inkdot::kernels::SpreadLevels spread;
    int32_t extraKind;    // 0, 1 or 2: which kind of extra block the CmLut carries
    int32_t replication;  // copies of each input pixel before the kernels; 1 = none
    inkdot::Mode mode;
    int32_t is720x360;
    int32_t sequenceState;  // inkdot::SequenceState: running, complete or failed
    size_t extraLength;     // bytes of the extra block that may be read
    // Chosen when the resource sequence completes: the kernel (none when no
    // kernel serves the object), the pair value it is called with, and the
    // view of the tables it reads.
    inkdot::kernels::Kernel* kernel;
    int32_t kernelPairFlag;
    inkdot::kernels::KernelView view;
};

namespace inkdot {

// Indices of the block table.
enum BlockIndex : int {
    kDensityMap = 0,       // inkSet 0: 256 x int16, input value -> density index
    kSeparationTable = 0,  // inkSet non-zero: re-sampled grid, c bytes an entry
    kErrorLineA = 1,
    kErrorLineB = 2,
    kErrorLineC = 3,
    kDitherMatrix = 4,     // matrixSize x int32
    kLevelThresholds = 5,  // 256 x int32 view behind the matrix, 256 more of scratch
    kDotValues = 6,        // 256 x int16
    kErrorThresholds = 7,  // 512 x int16 view in the dotValues block
    kQuantiser = 8,        // 256 x (level index, weight) view
    kLevelRecords = 9,     // outputBits 2: R records of four int16, then a copy
    kExpandedLine = 10,    // maxPixels input pixels, when replication is not 1
};

// Where the resource sequence stands. Once it has completed or failed, further
// resource calls are refused and change nothing.
enum SequenceState : int32_t {
    kSequenceRunning = 0,
    kSequenceComplete = 1,
    kSequenceFailed = 2,
};

using kernels::LevelRecord;

template <typename T>
inline T* blockAs(HalftoneContext& context, BlockIndex index) {
    return static_cast<T*>(context.blocks[index].address);
}
template <typename T>
inline const T* blockAs(const HalftoneContext& context, BlockIndex index) {
    return static_cast<const T*>(context.blocks[index].address);
}

inline int16_t* densityMap(HalftoneContext& c) {
    return blockAs<int16_t>(c, kDensityMap);
}
inline uint8_t* separationTable(HalftoneContext& c) {
    return blockAs<uint8_t>(c, kSeparationTable);
}
inline int16_t* errorLineA(HalftoneContext& c) {
    return blockAs<int16_t>(c, kErrorLineA);
}
inline int16_t* errorLineB(HalftoneContext& c) {
    return blockAs<int16_t>(c, kErrorLineB);
}
inline int16_t* errorLineC(HalftoneContext& c) {
    return blockAs<int16_t>(c, kErrorLineC);
}
inline int32_t* ditherMatrix(HalftoneContext& c) {
    return blockAs<int32_t>(c, kDitherMatrix);
}
inline int32_t* levelThresholds(HalftoneContext& c) {
    return blockAs<int32_t>(c, kLevelThresholds);
}
inline int16_t* dotValues(HalftoneContext& c) {
    return blockAs<int16_t>(c, kDotValues);
}
inline int16_t* errorThresholds(HalftoneContext& c) {
    return blockAs<int16_t>(c, kErrorThresholds);
}
inline uint8_t* quantiser(HalftoneContext& c) {
    return blockAs<uint8_t>(c, kQuantiser);
}
inline LevelRecord* levelRecords(HalftoneContext& c) {
    return blockAs<LevelRecord>(c, kLevelRecords);
}
inline uint8_t* expandedLine(HalftoneContext& c) {
    return blockAs<uint8_t>(c, kExpandedLine);
}

// Bytes per input pixel for an inputFormat code.
inline int32_t bytesPerPixel(int32_t inputFormat) {
    switch (inputFormat) {
        case 0: return 1;
        case 1:
        case 2:
        case 5: return 3;
        case 6: return 6;
        default: return 4;
    }
}

}  // namespace inkdot
