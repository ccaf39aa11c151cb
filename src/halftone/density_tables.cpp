#include "halftone/density_tables.h"

#include <algorithm>
#include <cmath>

#include "halftone/halftone_params.h"

namespace inkdot {
namespace {

struct SpreadRow {
    int32_t l1, l2, l3, l4;
};

int32_t put(int32_t levels[4], SpreadRow row) {
    levels[0] = row.l1;
    levels[1] = row.l2;
    levels[2] = row.l3;
    levels[3] = row.l4;
    return INKDOT_OK;
}

// One-bit single-ink rows depend on percentAt0: one row for 250, 350 and 500.
int32_t putByPercent(int32_t levels[4], int32_t percentAt0, SpreadRow at250, SpreadRow at350,
                     SpreadRow at500) {
    switch (percentAt0) {
        case 250: return put(levels, at250);
        case 350: return put(levels, at350);
        case 500: return put(levels, at500);
        default: return INKDOT_SEQUENCE_ENDED;
    }
}

// Keeps a model value as int16. Values of a sound model lie in 0..255; an
// extreme extra block can push one out of range or to NaN, which converts to
// the nearest int32 (NaN to 0) and keeps its low 16 bits rather than leaving
// the conversion undefined.
int16_t keep16(double v) {
    if (std::isnan(v)) return 0;
    if (v <= -2147483648.0) return 0;  // low 16 bits of INT32_MIN
    if (v >= 2147483647.0) return -1;  // low 16 bits of INT32_MAX
    return static_cast<int16_t>(static_cast<int32_t>(v));
}

int16_t round5(double v) {
    return keep16(v + 0.5);
}
int16_t round499(double v) {
    return keep16(v + 0.499);
}

LevelRecord record(int16_t small, int16_t medium, int16_t base) {
    auto total = static_cast<int16_t>(static_cast<uint16_t>(small) + static_cast<uint16_t>(medium) +
                                      static_cast<uint16_t>(base));
    return LevelRecord{small, medium, base, total};
}

}  // namespace

int32_t spreadLevelsFor(const HalftoneParams& params, int32_t percentAt0, int32_t levels[4]) {
    const Resolution r(params);
    const int32_t inkSet = params.inkSet;
    if (inkSet != 0 && inkSet != 3) return INKDOT_BAD_FIRST_RECORD;
    if (params.outputBits == 2) {
        if (r.is2880x720()) return put(levels, {36, 8, 6, 2});
        if (inkSet == 0) {
            if (r.is1440x720()) return put(levels, {32, 9, 2, 0});
            if (r.square() || r.yTwiceX()) return put(levels, {15, 4, 1, 0});
            if (r.xTwiceY()) return put(levels, {18, 4, 3, 1});
            return INKDOT_BAD_FIRST_RECORD;
        }
        if (r.is1440x720()) return put(levels, {10, 4, 2, 0});
        if (r.square()) return put(levels, {16, 4, 2, 0});
        if (r.xTwiceY()) return put(levels, {32, 8, 4, 0});
        if (r.yTwiceX()) return put(levels, {111, 8, 2, 0});
        return INKDOT_BAD_FIRST_RECORD;
    }
    if (inkSet == 0) {
        if (r.is1440x720())
            return putByPercent(levels, percentAt0, {17, 9, 4, 2}, {20, 10, 5, 3}, {52, 20, 8, 4});
        if (r.square())
            return putByPercent(levels, percentAt0, {32, 9, 4, 2}, {37, 20, 5, 2}, {55, 22, 8, 3});
        if (r.xTwiceY())
            return putByPercent(levels, percentAt0, {56, 22, 11, 4}, {59, 27, 12, 5},
                                {60, 32, 14, 7});
        return INKDOT_BAD_FIRST_RECORD;
    }
    if (r.is1440x720()) return put(levels, {10, 4, 2, 0});
    if (r.square()) return put(levels, {16, 4, 2, 0});
    if (r.xTwiceY()) return put(levels, {32, 8, 4, 0});
    return INKDOT_BAD_FIRST_RECORD;
}

void fillDotValueCurve(int16_t* dotValues, int32_t a, int32_t b) {
    for (int64_t k = 0; k < kDensityLevels; ++k) {
        const int64_t n = 255 - k;
        const int64_t v = (255 * int64_t{b} + ((int64_t{a} - b) * n * n + 1) / 255) / 100;
        dotValues[k] = static_cast<int16_t>(v);
    }
}

void fillDotValues(int16_t* dotValues, const HalftoneParams& params, const CmLut& lut) {
    const bool percentages = params.inkSet == 0 && params.outputBits == 1;
    fillDotValueCurve(dotValues, percentages ? lut.percentAt0 : 100,
                      percentages ? lut.percentAt255 : 100);
}

bool dotValuesUsable(const int16_t* dotValues) {
    return std::none_of(dotValues, dotValues + kDensityLevels, [](int16_t v) { return v == 0; });
}

void fillLevelThresholds(int32_t* levelThresholds, const HalftoneParams& params, int32_t matrixSize,
                         const int16_t* dotValues, const int16_t* densityMap) {
    for (int64_t k = 0; k < kDensityLevels; ++k) {
        int64_t q = 10 * int64_t{matrixSize} * k / dotValues[k];
        if (params.xResolution == 2880) q /= 2;
        levelThresholds[k] = static_cast<int32_t>((q + 4) / 10);
    }
    if (diffusionMethod(params.method) || params.inkSet != 0) return;
    // Single-ink dither compares against the matrix with the input value
    // directly, so the thresholds are re-indexed by input value.
    int32_t* scratch = levelThresholds + kDensityLevels;
    for (int k = 0; k < kDensityLevels; ++k) scratch[k] = levelThresholds[densityMap[k] & 0xFF];
    std::copy(scratch, scratch + kDensityLevels, levelThresholds);
}

void fillErrorThresholds(int16_t* t, const HalftoneParams& params, const int16_t* dotValues) {
    const Resolution r(params);
    const bool separated = params.inkSet == 3;
    auto low17 = [t] {
        t[0] = 64;
        t[1] = 37;
        t[2] = 41;
        for (int k = 0; k <= 13; ++k) t[3 + k] = static_cast<int16_t>((9 + 3 * k) / 4 + 45);
    };
    auto repeatLast = [t] { std::fill(t + 256, t + kErrorThresholdEntries, t[255]); };

    if (separated && params.outputBits == 1 && r.is720x360()) {
        low17();
        for (int k = 0; k <= 238; ++k)
            t[17 + k] = static_cast<int16_t>((-5328 + 48 * k) / 128 + 128);
        std::fill(t + 256, t + kErrorThresholdEntries, int16_t{128});
        return;
    }
    if (params.xResolution == 2880) {
        const int16_t head[5] = {128, 70, 74, 78, 82};
        std::copy(head, head + 5, t);
        for (int k = 0; k <= 27; ++k) t[5 + k] = static_cast<int16_t>(2 * ((15 + 3 * k) / 4) + 90);
        for (int k = 0; k <= 222; ++k)
            t[33 + k] = static_cast<int16_t>(((-347200 + 49600 * k) / 220 + 80) / 400 + 134);
        repeatLast();
        return;
    }
    if (separated) {
        low17();
        for (int k = 0; k <= 238; ++k)
            t[17 + k] = static_cast<int16_t>(((-74400 + 24800 * k) / 110 + 80) / 400 + 67);
        repeatLast();
        return;
    }
    // One ink: a ramp, steeper at both ends, bent by the dot values and
    // tilted toward high thresholds at low densities.
    int32_t ramp[256] = {};
    for (int k = 1; k <= 254; ++k) ramp[k] = (128 + 2 * k) / 3;
    for (int k = 1; k <= 9; ++k) {
        const int32_t v = 29 * k / 10 + 20;
        ramp[k] = v;
        ramp[255 - k] = 255 - v;
    }
    for (int k = 1; k <= 254; ++k) {
        const int64_t s = 2560 - 20 * k;
        const int64_t bend = (int64_t{dotValues[k]} - 255) / 3 + 255;
        t[k] = static_cast<int16_t>(ramp[k] * bend / 255 + s / 128);
    }
    t[0] = 128;
    t[255] = 128;
    if (params.inkSet == 0 && params.outputBits == 2 && r.is1440x720()) {
        t[1] = static_cast<int16_t>(7 * t[1] / 8);
        t[0] = static_cast<int16_t>(6 * t[1] / 7);
    }
}

double dotShareFor(int32_t code, bool at1440x720, bool singleInk) {
    // Columns: 1440 x 720 one ink, 1440 x 720 separated, other one ink, other separated.
    struct Row {
        double share[4];
    };
    static constexpr Row kCoarse{{0.5, 0.65, 0.35, 0.5}};   // codes 2, 11, 15
    static constexpr Row kMedium{{0.75, 0.65, 0.5, 0.65}};  // codes 5, 13
    static constexpr Row kFine{{0.5, 0.6, 0.25, 0.4}};      // code 4
    static constexpr Row kFull{{0.75, 0.75, 0.75, 0.75}};   // code 0
    static constexpr Row kOther{{0.5, 0.6, 0.35, 0.5}};
    const Row* row = &kOther;
    switch (code) {
        case 2:
        case 11:
        case 15: row = &kCoarse; break;
        case 5:
        case 13: row = &kMedium; break;
        case 4: row = &kFine; break;
        case 0: row = &kFull; break;
        default: break;
    }
    return row->share[(at1440x720 ? 0 : 2) + (singleInk ? 0 : 1)];
}

LevelModel levelModelFor(const HalftoneParams& params, ByteView extraBlock) {
    const bool singleInk = params.inkSet == 0;
    LevelModel model{};
    model.records = singleInk ? 256 : 512;
    model.curve = singleInk ? 65.0 / 203.0 : 1.0;
    int16_t code = 0;
    model.dotShare = findChainValue(extraBlock, kTagDotShare, code)
                         ? dotShareFor(code, Resolution(params).is1440x720(), singleInk)
                         : 0.5;
    model.inkScale = 1.0;
    int16_t limit = 0;
    if (!singleInk && findChainValue(extraBlock, kTagInkLimit, limit) && limit != 0)
        model.inkScale = 100.0 / limit;
    return model;
}

LevelModelStages fillLevelRecords(LevelRecord* out, const LevelModel& model) {
    const int32_t last = model.records - 1;
    const double n = last;
    const double s = 255.0 / n;
    const double a = model.curve;
    const double b = model.dotShare;
    const double h = model.inkScale;
    const double f = 203.0 / 65.0;
    const double g = 203.0 / 104.0;
    const double k = std::trunc(n * h);
    const double smallLimit = n * b;  // the small-dot part at its limit
    auto inkOf = [&](int32_t i) {
        const double x = std::min(i * h, n);
        return x * (a + (1 - a) * x / k);
    };
    auto mediumOf = [&](double y) { return g * (y - n * b / f); };

    LevelModelStages stages{};
    int32_t i = 0;
    // Small dots only.
    for (; i <= last; ++i) {
        const double y = inkOf(i);
        if (!(f * y <= smallLimit)) break;
        const int16_t small = round5(f * y * s);
        out[i] = record(small, 0, 0);
    }
    // Small dots at their limit, medium dots growing.
    stages.start[1] = i;
    bool toLarge = false;
    for (; i <= last; ++i) {
        const double z = mediumOf(inkOf(i));
        if (!(z <= n && z + smallLimit <= n)) {
            toLarge = z >= n;
            break;
        }
        out[i] = record(round5(smallLimit * s), round499(z * s), 0);
    }
    // Small and medium dots filling the area, small ones giving way.
    stages.start[2] = i;
    if (!toLarge) {
        for (; i <= last; ++i) {
            const double z = mediumOf(inkOf(i));
            const double t = (z + smallLimit - n) / (f - g);
            const double small = smallLimit - t * f;
            const double m = z + t * g;
            if (!(small >= 0)) break;
            if (m <= n)
                out[i] = record(round5(small * s), round499(m * s), 0);
            else
                out[i] = record(round5(small * s), round499(n * s), round499((m - n) / g * s));
        }
    }
    // Medium and large dots.
    stages.start[3] = i;
    for (; i <= last; ++i) {
        double large = inkOf(i);
        double small = 0;
        double medium = 0;
        if (large > n) {
            small = -(large - n) * f;
            large = n;
        }
        const double e = large + small - n;
        if (e > 0) {
            const double d = e / (f - 1);
            large += d;
            small -= d * f;
        } else {
            const double q = std::min(-e / (g - 1), large);
            large -= q;
            medium = q * g;
        }
        out[i] = record(round5(small * s), round499(medium * s), round499(large * s));
    }
    return stages;
}

}  // namespace inkdot
