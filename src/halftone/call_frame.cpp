// Halftone: one stretch of one raster line. The frame checks the range,
// expands repeated input pixels and hands the line to the kernel that the
// object's mode and parameters select.
#include "halftone/call_frame.h"

#include <algorithm>
#include <cstring>

#include "frame/workers.h"
#include "halftone/halftone_params.h"
#include "halftone/mode7.h"
#include "kernels/separation.h"

namespace inkdot {

using namespace kernels;

namespace {

// The separating kernels step through the separation table six bytes an
// entry, one byte per ink; a table of other entries they do not serve.
bool sixInkEntries(const HalftoneContext& context) {
    return context.lut.channels == kSeparationEntryBytes;
}

// Mode 0: the kernel follows from method, ink set, depth and resolution.
KernelChoice plainKernel(const HalftoneContext& context) {
    const HalftoneParams& p = context.params;
    const bool twoBit = p.outputBits == 2;
    const bool singleInk = p.inkSet == 0;
    if (p.method == 3) {
        if (singleInk) return {twoBit ? nullptr : &HalftoneDither, 0};
        if (!sixInkEntries(context)) return {nullptr, 0};
        return {twoBit ? &HalftoneDitherMultiSep : &HalftoneDitherSep, 0};
    }
    if (p.method == 0) return {nullptr, 0};
    if (!singleInk && !sixInkEntries(context)) return {nullptr, 0};
    const Resolution r(p);
    // No one-bit kernel diffuses at 2880 x 720.
    if (r.is2880x720())
        return {twoBit ? (singleInk ? &HalftoneMulti2880 : &HalftoneMultiSep2880) : nullptr, 0};
    if (r.is1440x720()) {
        if (singleInk) return {twoBit ? &HalftoneMulti1440 : &HalftoneBinary1440, 0};
        return {twoBit ? &HalftoneMultiSep1440 : &HalftoneBinarySep1440, 0};
    }
    if (singleInk) return {twoBit ? &HalftoneMulti : &HalftoneBinary, 0};
    if (twoBit) return {&HalftoneMultiSep, 0};
    return {context.is720x360 ? &HalftoneBinarySep360 : &HalftoneBinarySep, 0};
}

// `copies` copies of `Bytes`-byte pixels, each input pixel `replication`
// times; four-byte pixels move as 32-bit words.
template <size_t Bytes>
void repeatPixels(uint8_t* out, const uint8_t* src, int64_t copies, int64_t replication) {
    uint8_t pixel[Bytes];
    for (int64_t written = 0; written < copies; src += Bytes) {
        std::memcpy(pixel, src, Bytes);
        const int64_t end = std::min(written + replication, copies);
        for (; written < end; ++written, out += Bytes) std::memcpy(out, pixel, Bytes);
    }
}

}  // namespace

KernelChoice chooseKernel(const HalftoneContext& context) {
    switch (context.mode) {
        case Mode::plain: return plainKernel(context);
        case Mode::pairsSeparated:
            return {sixInkEntries(context) ? &HalftoneMultiSepMode : nullptr, 1};
        case Mode::halfWidthSeparated:
            return {sixInkEntries(context) ? &HalftoneMultiSepMode : nullptr, 0};
        case Mode::pairsSingleInk: return {&HalftoneMultiMode, 1};
        case Mode::halfWidthSingleInk: return {&HalftoneMultiMode, 0};
        case Mode::separationPath: return {&HalftoneSeparationPath, 0};
    }
    return {nullptr, 0};
}

kernels::KernelView kernelView(HalftoneContext& context) {
    const HalftoneContext& c = context;
    return {
        c.params.maxPixels,
        c.params.inputScale,
        c.params.outputBits,
        ditherMatrix(context),
        c.matrixWidth,
        c.matrixHeight,
        c.matrixSize,
        c.spread,
        densityMap(context),
        separationTable(context),
        {errorLineA(context), errorLineB(context), errorLineC(context)},
        levelThresholds(context),
        blockAs<uint16_t>(context, kDotValues),
        errorThresholds(context),
        quantiser(context),
        levelRecords(context),
    };
}

void prepareKernel(HalftoneContext& context) {
    const KernelChoice choice = chooseKernel(context);
    context.kernel = choice.kernel;
    context.kernelPairFlag = choice.pairFlag;
    context.view = kernelView(context);
}

void expandLine(HalftoneContext& context, const uint8_t* src, int32_t pixelCount) {
    // With inputScale 1 every input pixel serves two output pixels, so an odd
    // count reads one input pixel more than half of it.
    int64_t wanted = pixelCount;
    if (context.params.inputScale == 1) wanted = (wanted + 1) / 2;
    const int64_t replication = context.replication;
    // Whole groups of copies, cut at the end of the expanded line.
    const int64_t groups = (wanted + replication - 1) / replication;
    const int64_t copies = std::min<int64_t>(groups * replication, context.params.maxPixels);
    uint8_t* out = expandedLine(context);
    const int32_t bytes = bytesPerPixel(context.params.inputFormat);
    switch (bytes) {
        case 1: repeatPixels<1>(out, src, copies, replication); break;
        case 3: repeatPixels<3>(out, src, copies, replication); break;
        case 4: repeatPixels<4>(out, src, copies, replication); break;
        default: repeatPixels<6>(out, src, copies, replication); break;
    }
}

int32_t halftone(HalftoneContext* context, const void* src, uint8_t* dst, int32_t planeStride,
                 int32_t bitOffset, int32_t pixelCount, int32_t startX, int32_t enable,
                 int32_t lineNumber, int32_t spare, int32_t reserved) {
    // A negative start or count would pass the unsigned range check below
    // once the sum wraps, and send the kernels in front of their buffers.
    if (startX < 0 || pixelCount < 0) return INKDOT_LINE_TOO_LONG;
    HalftoneContext& c = *context;
    if (c.mode == Mode::separationPath)
        return mode7Line(c, src, dst, planeStride, bitOffset, pixelCount, startX, enable,
                         lineNumber, spare, reserved);

    if (uint32_t(startX) + uint32_t(pixelCount) > uint32_t(c.params.maxPixels))
        return INKDOT_LINE_TOO_LONG;
    // Until the resource sequence has completed the tables the kernels read
    // are missing, half built or already released.
    if (c.sequenceState != kSequenceComplete) return INKDOT_UNSUPPORTED;

    const auto* line = static_cast<const uint8_t*>(src);
    if (c.replication > 1) {
        expandLine(c, line, pixelCount);
        line = expandedLine(c);
    }
    if (c.kernel == nullptr) return INKDOT_UNSUPPORTED;
    return c.kernel(c.view, c.line, line, dst, planeStride, bitOffset, pixelCount, startX, enable,
                    lineNumber, c.kernelPairFlag, reserved);
}

}  // namespace inkdot
