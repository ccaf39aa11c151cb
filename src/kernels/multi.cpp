// One ink, two bits per dot (none, small, medium, large), error diffusion.
//
// Large and medium dots come from ordered dither: the pixel's matrix value
// against two thresholds that its level record selects. The small dot comes
// from the error collected on one error line; after any dot the pixel gives
// up a full dot's worth of error, which is spread the more widely the lower
// the density. The members differ in the matrix noise on the density index,
// which index chooses the small-dot threshold and the pattern, the error a
// dot takes away, and their patterns.
#include "kernels/diffusion.h"
#include "kernels/kernels.h"

namespace inkdot::kernels {
namespace {

// HalftoneMulti: narrow noise, the noisy index for everything, table A
// without A5.
struct Multi {
    static constexpr bool kWideNoise = false;
    static constexpr bool kPlainIndex = false;
    static constexpr int32_t kDotError = 255;
    static constexpr auto spread = &spreadTableA<4, ErrorCursor>;
};

// HalftoneMulti1440: wider noise above an input of 160, the plain index for
// the small dot and the pattern, table B.
struct Multi1440 {
    static constexpr bool kWideNoise = true;
    static constexpr bool kPlainIndex = true;
    static constexpr int32_t kDotError = 255;
    static constexpr auto spread = &spreadTableB<5, ErrorCursor>;
};

// HalftoneMulti2880: as 1440, but a dot takes two dots' worth of error.
struct Multi2880 : Multi1440 {
    static constexpr int32_t kDotError = 510;
};

template <class Member, Sampling S>
int32_t multiLine(const LineCall& call) {
    HalftoneContext& context = call.context;
    context.lastLine = call.lineNumber;

    const int16_t* densityMap = blockAs<int16_t>(context, kDensityMap);
    const LevelRecord* records = blockAs<LevelRecord>(context, kLevelRecords);
    const int32_t* levelThresholds = blockAs<int32_t>(context, kLevelThresholds);
    const int16_t* errorThresholds = blockAs<int16_t>(context, kErrorThresholds);
    const MatrixRow matrix = matrixRow(context, call.lineNumber);
    const SpreadLevels levels = spreadLevels(context);
    ErrorCursor line(errorLineA(context), call.startX);
    DotPacker<2> out(call.dst, 0, call.bitOffset);
    const uint8_t* in = call.line;

    uint32_t v = 0;
    int32_t noisy = 0, plain = 0;
    const LevelRecord* record = records;
    for (int32_t i = 0; i < call.pixelCount; ++i, line.advance(), out.next()) {
        const int32_t u = matrix.at(call.startX + i);
        if (readsAt<S>(i)) {
            v = readInput<S>(in);
            // (u AND 7) - 4 above 160 in the wide members, else (u AND 3) - 2,
            // selected without a branch.
            const int32_t narrow = (u & 3) - 2;
            const int32_t wideMask = Member::kWideNoise ? -int32_t(v > 160) : 0;
            const int32_t noise = narrow ^ ((((u & 7) - 4) ^ narrow) & wideMask);
            noisy = noisyDensity(densityMap, int32_t(v), noise);
            plain = Member::kPlainIndex ? densityMap[v] : noisy;
            record = &records[noisy];
        }
        if (v == 0) {
            // Blank: the collected error is dropped, the carry survives.
            line.passCarry();
            continue;
        }
        int32_t error = collectedError(line.collected(), v) + record->levelTotal;
        const uint32_t code = threeWayCode(levelThresholds, *record, u, error,
                                           errorThresholds[plain] + thresholdBias(u));
        const bool dot = code != kCodeNone;
        error -= Member::kDotError & -int32_t(dot);
        Member::spread(levels, plain, dot, parityMask(u), line, error);
        out.mark(0, code);
    }
    line.finish();
    out.finish();
    return INKDOT_OK;
}

template <class Member>
int32_t multiKernel(const LineCall& call) {
    if (!stretchFits(call.context, call.startX, call.pixelCount)) return INKDOT_LINE_TOO_LONG;
    if (call.enable == 0) return INKDOT_NOT_ENABLED;
    if (!bitOffsetFits<2>(call.bitOffset)) return INKDOT_UNSUPPORTED;
    return withSampling<Sampling::Smaller>(call.context.params.inputScale, [&](auto sampling) {
        return multiLine<Member, decltype(sampling)::value>(call);
    });
}

}  // namespace

INKDOT_DEFINE_KERNEL(HalftoneMulti, multiKernel<Multi>)
INKDOT_DEFINE_KERNEL(HalftoneMulti1440, multiKernel<Multi1440>)
INKDOT_DEFINE_KERNEL(HalftoneMulti2880, multiKernel<Multi2880>)

}  // namespace inkdot::kernels
