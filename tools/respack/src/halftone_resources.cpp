// Halftone resources: resource-number lists, grid levels, dither matrices and
// level records.
#include <algorithm>
#include <cmath>

#include "bytes.h"

namespace respack {

using namespace detail;

Bytes resourceList(const std::vector<int16_t>& numbers) {
    require(numbers.size() <= 14, "a resource list holds at most 14 numbers before its -1");
    Bytes out;
    for (int16_t v : numbers) {
        require(v != -1, "-1 ends a resource list and cannot stand inside it");
        putLe16(out, v);
    }
    putLe16(out, -1);
    return out;
}

std::vector<uint8_t> gridLevelValues(const GridLevelsOptions& s) {
    if (!s.levels.empty()) {
        require(s.levels.size() == 32, "a grid-level resource has 32 levels");
        require(s.levels.front() == 0 && s.levels.back() == 255, "grid levels run from 0 to 255");
        for (size_t i = 1; i < s.levels.size(); ++i)
            require(s.levels[i] > s.levels[i - 1], "grid levels increase strictly");
        return s.levels;
    }
    require(s.exponent >= 0.5 && s.exponent <= 2.0, "the grid-level exponent lies from 0.5 to 2");
    std::vector<uint8_t> levels(32);
    for (int i = 0; i < 32; ++i) {
        int v = static_cast<int>(std::lround(255.0 * std::pow(i / 31.0, s.exponent)));
        // Keep every cell at least one wide (and room for the cells above).
        v = std::max(v, i == 0 ? 0 : levels[i - 1] + 1);
        v = std::min(v, 255 - (31 - i));
        levels[i] = static_cast<uint8_t>(v);
    }
    return levels;
}

Bytes gridLevels(const GridLevelsOptions& s) {
    Bytes out;
    putLe16(out, 32);
    for (uint8_t v : gridLevelValues(s)) out.push_back(v);
    return out;
}

Matrix bayer(int n) {
    require(n >= 2 && n <= 256 && (n & (n - 1)) == 0,
            "a Bayer matrix is 2 to 256 wide, a power of two");
    Matrix m{n, n, std::vector<uint16_t>(static_cast<size_t>(n) * n)};
    // Interleave the bits of (x XOR y) and y, lowest bits most significant.
    int bits = 0;
    while ((1 << bits) < n) ++bits;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            unsigned v = 0;
            const unsigned a = static_cast<unsigned>(x ^ y), b = static_cast<unsigned>(y);
            for (int bit = 0; bit < bits; ++bit) {
                v = (v << 2) | (((a >> bit) & 1u) << 1) | ((b >> bit) & 1u);
            }
            m.values[static_cast<size_t>(y) * n + x] = static_cast<uint16_t>(v);
        }
    return m;
}

namespace {
int widthCode(int w) {
    if (w == 256) return 255;
    if (w == 512) return 239;
    require(w >= 1 && w <= 254 && w != 239, "a matrix is 1 to 254, 256 or 512 cells wide");
    return w;
}
}  // namespace

Bytes ditherMatrix(const Matrix& m) {
    require((m.width & (m.width - 1)) == 0, "the matrix width is a power of two");
    require(m.values.size() == static_cast<size_t>(m.width) * m.height,
            "the matrix values fill the matrix");
    Bytes out;
    put8(out, widthCode(m.width));
    put8(out, widthCode(m.height));
    putLe16(out, 0);
    out.reserve(4 + 2 * m.values.size());
    for (uint16_t v : m.values) putLe16(out, v);
    return out;
}

Bytes ditherMatrixBlueNoise(int n) {
    return ditherMatrix(blueNoise(n));
}
Bytes ditherMatrixBayer(int n) {
    return ditherMatrix(bayer(n));
}

std::vector<LevelRecord> levelRecordModel(const LevelRecordOptions& s) {
    require(s.count >= 2 && s.count <= 4096, "2 to 4096 level records");
    require(s.smallShare > 0.0 && s.smallShare <= 1.0, "smallShare lies in 0..1");
    require(s.inkScale >= 1.0, "inkScale is at least 1");
    require(s.lowSlope > 0.0 && s.lowSlope <= 1.0, "lowSlope lies in 0..1");
    const double N = s.count - 1, S = 255.0 / N, A = s.lowSlope, B = s.smallShare, H = s.inkScale;
    const double F = 203.0 / 65.0, G = 203.0 / 104.0;
    const double K = std::trunc(N * H);
    auto yOf = [&](int i) {
        const double x = std::min(i * H, N);
        return x * (A + (1.0 - A) * x / K);
    };
    auto r = [](double v) { return static_cast<int>(std::trunc(v + 0.5)); };
    auto r2 = [](double v) { return static_cast<int>(std::trunc(v + 0.499)); };

    std::vector<LevelRecord> out;
    int i = 0;
    // Small dots alone.
    for (; i < s.count && F * yOf(i) <= N * B; ++i) out.push_back({r(F * yOf(i) * S), 0, 0});
    // Small dots at their share, medium dots growing.
    bool toLarge = false;
    for (; i < s.count; ++i) {
        const double z = G * (yOf(i) - N * B / F);
        if (!(z <= N && z + N * B <= N)) {
            toLarge = z >= N;
            break;
        }
        out.push_back({r(N * B * S), r2(z * S), 0});
    }
    // Small and medium dots filling the area.
    if (!toLarge) {
        for (; i < s.count; ++i) {
            const double z = G * (yOf(i) - N * B / F);
            const double t = (z + N * B - N) / (F - G);
            const double small = N * B - t * F, m = z + t * G;
            if (small < 0.0) break;
            if (m <= N)
                out.push_back({r(small * S), r2(m * S), 0});
            else
                out.push_back({r(small * S), r2(N * S), r2((m - N) / G * S)});
        }
    }
    // Medium and large dots.
    for (; i < s.count; ++i) {
        double L = yOf(i), small = 0.0, medium = 0.0;
        if (L > N) {
            small = -(L - N) * F;
            L = N;
        }
        const double e = L + small - N;
        if (e > 0.0) {
            const double d = e / (F - 1.0);
            L += d;
            small -= d * F;
        } else {
            const double q = std::min(-e / (G - 1.0), L);
            L -= q;
            medium = q * G;
        }
        out.push_back({r(small * S), r2(medium * S), r2(L * S)});
    }
    return out;
}

Bytes levelRecords(const LevelRecordOptions& s) {
    std::vector<LevelRecord> records = levelRecordModel(s);
    Bytes out(32, 0);
    const uint32_t size = static_cast<uint32_t>(32 + 3 * records.size() + 10);
    setLe32(out, 0, size);
    out[4] = 0xFB, out[5] = 0x69, out[6] = 0xF7, out[7] = 0xDC;
    out[16] = 3;  // bytes a record
    out[18] = static_cast<uint8_t>(records.size() & 0xFF);
    out[19] = static_cast<uint8_t>(records.size() >> 8);
    for (LevelRecord rec : records) {
        int a = std::clamp(rec.small, 0, 255), b = std::clamp(rec.medium, 0, 255),
            c = std::clamp(rec.large, 0, 255);
        // A level never covers more than the whole area: trim the excess from
        // the smaller dots first.
        for (int* v : {&a, &b, &c}) {
            const int excess = a + b + c - 255;
            if (excess > 0) *v -= std::min(*v, excess);
        }
        put8(out, a);
        put8(out, b);
        put8(out, c);
    }
    out.resize(size, 0);  // ten reserved bytes close the resource
    return out;
}

}  // namespace respack
