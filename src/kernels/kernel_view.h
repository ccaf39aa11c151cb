// What a line kernel works on: a view of exactly the tables it reads, their
// sizes and the line state it updates. The halftone object builds the view
// once, when its resource sequence completes, and stores it together with
// the kernel it chose; kernels see nothing of the object itself.
#pragma once

#include <cstdint>

namespace inkdot::kernels {

// A level record: spans of small and medium dots, the large-dot threshold base
// and their 16-bit sum, per ink amount.
struct LevelRecord {
    int16_t smallSpan;
    int16_t mediumSpan;
    int16_t thresholdBase;
    int16_t levelTotal;
};

// The density limits that choose how widely an error is spread.
struct SpreadLevels {
    int32_t level1, level2, level3, level4;
};

// What a kernel keeps from one call of an object to the next, besides its
// error lines.
struct LineState {
    int32_t lastLine;  // lineNumber of the latest call
    int32_t lastEnd;   // end of the latest stretch (the separating kernels)
};

struct KernelView {
    // The line: pixels per line, how input pixels are read, dot depth.
    int32_t maxPixels;
    int32_t inputScale;
    int32_t outputBits;
    // The dither matrix, matrixWidth x matrixHeight values row after row
    // (matrixSize in all); the width is a power of two.
    const int32_t* matrix;
    int32_t matrixWidth;
    int32_t matrixHeight;
    int32_t matrixSize;
    SpreadLevels spread;
    // One ink: input value -> density index (256 entries).
    const int16_t* densityMap;
    // Separated inks: the re-sampled grid, six bytes an entry.
    const uint8_t* separationTable;
    // Up to three error lines, updated by every call.
    int16_t* errorLines[3];
    const int32_t* levelThresholds;   // 256 entries, 256 more of scratch behind them
    const uint16_t* dotValues;        // 256 entries
    const int16_t* errorThresholds;   // 512 entries
    const uint8_t* quantiser;         // 256 (level index, weight) pairs
    const LevelRecord* levelRecords;  // two-bit objects: R records, then a copy
};

// Every kernel takes the view, its line state and the caller's line
// arguments (the line possibly replaced by the expanded line and the tenth
// argument by the object's pair value), and returns a result code.
using Kernel = int32_t(const KernelView& view, LineState& state, const uint8_t* line, uint8_t* dst,
                       int32_t planeStride, int32_t bitOffset, int32_t pixelCount, int32_t startX,
                       int32_t enable, int32_t lineNumber, int32_t pairFlag, int32_t reserved);

}  // namespace inkdot::kernels
