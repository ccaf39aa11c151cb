// The adjustment stage. Tone curves are integer formulas: brightness and
// contrast are a straight middle piece joined to cubic ends, gamma comes from
// integer logarithms. Three tables, one per channel, carry the offsets too;
// a smoothing pass rounds their corners and optional caller curves follow.
#include "cm/adjustment.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "cm/cm_context.h"
#include "cm/curve_tags.h"
#include "cm/grid_block.h"
#include "frame/mem_block.h"

namespace inkdot {
namespace {

// 5000 x ln(p), rounded, for the 97 primes from 2 to 509.
constexpr int16_t kPrimes[97] = {
    2,   3,   5,   7,   11,  13,  17,  19,  23,  29,  31,  37,  41,  43,  47,  53,  59,
    61,  67,  71,  73,  79,  83,  89,  97,  101, 103, 107, 109, 113, 127, 131, 137, 139,
    149, 151, 157, 163, 167, 173, 179, 181, 191, 193, 197, 199, 211, 223, 227, 229, 233,
    239, 241, 251, 257, 263, 269, 271, 277, 281, 283, 293, 307, 311, 313, 317, 331, 337,
    347, 349, 353, 359, 367, 373, 379, 383, 389, 397, 401, 409, 419, 421, 431, 433, 439,
    443, 449, 457, 461, 463, 467, 479, 487, 491, 499, 503, 509};
constexpr int32_t kLogTable[97] = {
    3466,  5493,  8047,  9730,  11989, 12825, 14166, 14722, 15677, 16836, 17170, 18055, 18568,
    18806, 19251, 19851, 20388, 20554, 21023, 21313, 21452, 21847, 22094, 22443, 22874, 23076,
    23174, 23364, 23457, 23637, 24221, 24376, 24600, 24672, 25020, 25086, 25281, 25469, 25590,
    25766, 25937, 25992, 26261, 26313, 26416, 26467, 26759, 27036, 27125, 27169, 27255, 27382,
    27424, 27627, 27745, 27861, 27974, 28011, 28120, 28192, 28227, 28401, 28634, 28699, 28731,
    28795, 29011, 29100, 29247, 29275, 29332, 29417, 29527, 29608, 29688, 29740, 29818, 29920,
    29970, 30069, 30189, 30213, 30331, 30354, 30422, 30468, 30535, 30623, 30667, 30689, 30732,
    30859, 30941, 30982, 31063, 31103, 31162};
constexpr int32_t kTrialPrimes = 9;  // 2 to 23: every n up to 511 is then 1 or a prime

// scaledLog(n) for n from 0 to 511 (0 unused), worked out at compile time:
// the sum of the table entries of n's prime factors, found by trial division
// by 2 to 23, after which every n up to 511 is 1 or a prime of the table.
constexpr std::array<int32_t, 512> makeScaledLogs() {
    std::array<int32_t, 512> logs{};
    for (int32_t n0 = 1; n0 < 512; ++n0) {
        int32_t n = n0, sum = 0;
        for (int32_t i = 0; i < kTrialPrimes && n != 1; ++i) {
            while (n % kPrimes[i] == 0) {
                n /= kPrimes[i];
                sum += kLogTable[i];
            }
        }
        for (int32_t i = kTrialPrimes; i < 97 && n != 1; ++i)
            if (kPrimes[i] == n) {
                sum += kLogTable[i];
                n = 1;
            }
        logs[n0] = sum;
    }
    return logs;
}
constexpr std::array<int32_t, 512> kScaledLogs = makeScaledLogs();
static_assert(kScaledLogs[4] == 2 * 3466 && kScaledLogs[509] == 31162);

constexpr int32_t kDefaultGamma = 150;
constexpr int32_t kLimit = 50;  // every adjustment lies in -50..50

int32_t clampByte(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, 0, 255));
}

// cube(t) x c / 6553600, wide: the product does not fit 32 bits.
int64_t cubeScaled(int32_t t, int32_t c) {
    return static_cast<int64_t>(t) * t * t * c / 6553600;
}

void brighten(int32_t b, int32_t l[256]) {
    if (b > 0) {
        int32_t e = 10000 / (100 - b);
        int32_t k = ((300 - e) * 256) / (2 * e);
        int32_t c = (e * 65536) / (3 * (k - 256) * (k - 256));
        for (int32_t x = 0; x < 256; ++x)
            l[x] = clampByte(x < k ? static_cast<int64_t>(l[x]) * e / 100
                                   : 256 + cubeScaled(l[x] - 256, c));
    } else {
        int32_t e = 10000 / (b + 100);
        int32_t k = ((3 * e - 300) * 256) / (2 * e);
        int32_t c = (e * 65536) / (3 * k * k);
        for (int32_t x = 0; x < 256; ++x)
            l[x] = clampByte(x < k ? cubeScaled(l[x], c)
                                   : (static_cast<int64_t>(l[x] - 256) * e + 25600) / 100);
    }
}

void contrast(int32_t t, int32_t l[256]) {
    if (t < 0) {
        for (int32_t x = 0; x < 256; ++x)
            l[x] = clampByte(((t + 100) * (l[x] - 128) + 12800) / 100);
        return;
    }
    int32_t e = 10000 / (100 - t);
    int32_t k1 = ((3 * e - 300) * 128) / (2 * e);
    int32_t c1 = (e * 65536) / (3 * k1 * k1);
    int32_t k2 = ((e + 300) * 128) / (2 * e);
    int32_t c2 = (e * 65536) / (3 * (k2 - 256) * (k2 - 256));
    // The piece is chosen by the index, the formula acts on the current value.
    for (int32_t x = 0; x < 256; ++x) {
        int64_t v = x < k1   ? cubeScaled(l[x], c1)
                    : x < k2 ? (static_cast<int64_t>(e) * (l[x] - 128) + 12800) / 100
                             : 256 + cubeScaled(l[x] - 256, c2);
        l[x] = clampByte(v);
    }
}

// Each entry becomes the mean of itself and its neighbours, the lower one
// already smoothed; the first and the last two entries stay.
void smooth(int32_t t[256]) {
    for (int32_t i = 1; i <= 253; ++i) t[i] = (t[i - 1] + t[i] + t[i + 1]) / 3;
}

bool inRange(int64_t v) {
    return v >= -kLimit && v <= kLimit;
}

}  // namespace

int32_t scaledLog(int32_t n) {
    return n >= 1 && n <= 511 ? kScaledLogs[n] : 0;
}

int32_t gammaValue(int32_t v, int32_t ref) {
    if (v == 0) return 0;
    if (v == 255) return 255;
    int32_t d = ref * 2048 / 100;
    int32_t e = 27706 * d - 63855256;
    int32_t target = scaledLog(v) * d;
    if (target < e) return 0;
    for (int32_t f = 3; f <= 511; f += 2)
        if (scaledLog(f) * 2048 + e > target) return f / 2;
    return 255;
}

int32_t buildAdjust(const CmContext& cm, CmAdjust& adjust) {
    const CmParams& p = cm.params;
    int64_t saturation = p.saturation;
    if (p.colorMode == 2 && p.matchMode == 0) saturation += cm.tableAdjust[9];  // S3
    saturation = std::min<int64_t>(saturation, kLimit);
    if (p.adjustMode != 0 || !inRange(p.brightness) || !inRange(p.contrast) ||
        !inRange(saturation) || !inRange(p.offset0) || !inRange(p.offset1) || !inRange(p.offset2))
        return INKDOT_BAD_FIRST_RECORD;

    int32_t gammaRef = kDefaultGamma;
    if (const void* item = findTag(p.tags, INKDOT_TAG_GAMMA_REF)) {
        int32_t value;
        std::memcpy(&value, item, sizeof value);
        if (value != 0) gammaRef = value;
    }
    if (gammaRef < 100 || gammaRef > 300) return INKDOT_BAD_SECOND_RECORD;
    adjust.saturation = static_cast<int32_t>(saturation);

    int32_t l[256];
    for (int32_t x = 0; x < 256; ++x) l[x] = x;
    if (p.brightness != 0) brighten(p.brightness, l);
    if (p.contrast != 0) contrast(p.contrast, l);

    const int32_t offsets[3] = {p.offset0, p.offset1, p.offset2};
    for (int32_t x = 0; x < 256; ++x) {
        int32_t g =
            gammaRef == kDefaultGamma ? 0 : gammaValue(x, gammaRef) - gammaValue(x, kDefaultGamma);
        for (int32_t ch = 0; ch < 3; ++ch) adjust.tone[ch][x] = clampByte(l[x] + offsets[ch] + g);
    }
    for (int32_t ch = 0; ch < 3; ++ch) smooth(adjust.tone[ch]);

    if (const void* item = findTag(p.tags, INKDOT_TAG_CHANNEL_CURVES)) {
        const auto* curves = static_cast<const uint8_t*>(item);
        for (int32_t ch = 0; ch < 3; ++ch)
            for (int32_t& v : adjust.tone[ch]) v = curves[256 * ch + v];
    }
    return INKDOT_OK;
}

void adjustColour(const CmAdjust& adjust, uint8_t colour[3]) {
    int32_t v[3] = {colour[0], colour[1], colour[2]};
    const int32_t s = adjust.saturation;
    if (s != 0 && !(v[0] == v[1] && v[1] == v[2])) {
        // The smallest channel stays; the others move away from it, by only
        // 80 % of the saturation when channel 2 is the smallest.
        int32_t low = v[0] <= v[1] && v[0] <= v[2] ? 0 : v[2] < v[0] && v[2] < v[1] ? 2 : 1;
        int32_t factor = low == 2 ? 100 + s * 80 / 100 : 100 + s;
        for (int32_t ch = 0; ch < 3; ++ch)
            if (ch != low) v[ch] = std::min(255, v[low] + (v[ch] - v[low]) * factor / 100);
    }
    for (int32_t ch = 0; ch < 3; ++ch) colour[ch] = static_cast<uint8_t>(adjust.tone[ch][v[ch]]);
}

int32_t runAdjustment(CmContext& cm) {
    CmLut& lut = *cm.lut;
    GridBlock fresh;
    if (int32_t result = allocateGrid(lut, fresh); result != INKDOT_OK) return result;

    platform::Handle adjustHandle = nullptr;
    void* adjustAddress = nullptr;
    int32_t result = allocateLocked(sizeof(CmAdjust), false, adjustHandle, adjustAddress);
    if (result == INKDOT_OK) {
        result = buildAdjust(cm, *static_cast<CmAdjust*>(adjustAddress));
        if (result != INKDOT_OK) unlockAndFree(adjustHandle);
    }
    if (result != INKDOT_OK) {
        discardGrid(fresh);
        return result;
    }
    const CmAdjust& adjust = *static_cast<const CmAdjust*>(adjustAddress);

    const int32_t last = lut.points[0] - 1, lastK = lut.points[2] - 1;
    resampleRows(
        lut, fresh.data,
        [&](int32_t i, int32_t j, int32_t k, uint8_t* rgb) {
            rgb[0] = lut.list0[i];
            rgb[1] = lut.list1[j];
            rgb[2] = lut.list2[k];
            // The black and the white corner keep their grid values.
            bool corner = (i == 0 && j == 0 && k == 0) || (i == last && j == last && k == lastK);
            if (!corner) adjustColour(adjust, rgb);
        },
        [](int32_t, int32_t, uint8_t*) {});
    unlockAndFree(adjustHandle);
    return replaceGrid(lut, fresh);
}

}  // namespace inkdot
