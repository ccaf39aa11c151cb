#include "colour/characterise.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace inkdot::colour {
namespace {

constexpr double kPi = 3.14159265358979323846;

double clamp01(double v) {
    return std::clamp(v, 0.0, 1.0);
}

double smoothStep(double t) {
    t = clamp01(t);
    return t * t * (3.0 - 2.0 * t);
}

uint8_t toByte(double v) {
    return uint8_t(std::lround(clamp01(v) * 255.0));
}

double distance(const Lab& a, const Lab& b) {
    return std::sqrt((a.L - b.L) * (a.L - b.L) + (a.a - b.a) * (a.a - b.a) +
                     (a.b - b.b) * (a.b - b.b));
}

// The input values of a table's grid points on each axis.
std::vector<uint8_t> axis(int points) {
    return respack::axisValues(points);
}

// Brings the darkest inputs onto the printer's black: from `blackL` + 3
// upwards lightness stays as it is; below, the range down to 0 is
// compressed into what is left, with the slope running on smoothly from 1.
double kneeLightness(double L, double blackL) {
    const double top = blackL + 3.0;
    if (L >= top || blackL <= 0.0) return L;
    const double u = top - std::max(0.0, L), inputRange = top, outputRange = top - blackL;
    return top - u / (1.0 + u * (1.0 / outputRange - 1.0 / inputRange));
}

// Compresses u (0..whole) into 0..room with slope 1 at 0: what a knee does
// with the part of a range beyond it.
double compress(double u, double whole, double room) {
    if (room <= 0.0) return 0.0;
    if (whole <= room) return std::min(u, room);
    return u / (1.0 + u * (1.0 / room - 1.0 / whole));
}

// Solves the n x n system a x = b in place (Gaussian elimination with
// partial pivoting); false when it is singular.
template <int N>
bool solveLinear(std::array<std::array<double, N>, N> a, std::array<double, N> b,
                 std::array<double, N>& x) {
    for (int col = 0; col < N; ++col) {
        int pivot = col;
        for (int r = col + 1; r < N; ++r)
            if (std::abs(a[size_t(r)][size_t(col)]) > std::abs(a[size_t(pivot)][size_t(col)]))
                pivot = r;
        if (std::abs(a[size_t(pivot)][size_t(col)]) < 1e-12) return false;
        std::swap(a[size_t(col)], a[size_t(pivot)]);
        std::swap(b[size_t(col)], b[size_t(pivot)]);
        for (int r = col + 1; r < N; ++r) {
            const double f = a[size_t(r)][size_t(col)] / a[size_t(col)][size_t(col)];
            for (int c = col; c < N; ++c) a[size_t(r)][size_t(c)] -= f * a[size_t(col)][size_t(c)];
            b[size_t(r)] -= f * b[size_t(col)];
        }
    }
    for (int r = N - 1; r >= 0; --r) {
        double s = b[size_t(r)];
        for (int c = r + 1; c < N; ++c) s -= a[size_t(r)][size_t(c)] * x[size_t(c)];
        x[size_t(r)] = s / a[size_t(r)][size_t(r)];
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// The six-ink separation

SeparationDesign::SeparationDesign() {
    for (auto& curve : demand)
        for (size_t v = 0; v < curve.size(); ++v) curve[v] = double(v) / 255.0;
}

std::array<double, 6> separateDemands(const SeparationDesign& d, double c, double m, double y,
                                      double k) {
    // A demand (in solid dark ink) is carried by the light ink alone up to
    // lightAloneTo, then handed over smoothly to the dark ink, which carries
    // it alone from darkAloneFrom.
    auto split = [&](double x) {
        const double light =
            1.0 - smoothStep((x - d.lightAloneTo) / (d.darkAloneFrom - d.lightAloneTo));
        return std::array<double, 2>{x * (1.0 - light), std::min(1.0, x * light / d.lightStrength)};
    };
    auto cyan = split(clamp01(c)), magenta = split(clamp01(m));
    double yellow = clamp01(y);
    const double black = clamp01(k);
    // The separating kernels take a dark ink, its light ink and black
    // together as one solid at most. Where black leaves too little room,
    // the light ink's share goes over to the dark ink, which carries the
    // same demand in less ink; only a demand beyond the room is cut.
    const double room = 1.0 - black;
    for (auto* pair : {&cyan, &magenta}) {
        auto& [dark, light] = *pair;
        if (dark + light <= room) continue;
        const double demand = dark + light * d.lightStrength;
        if (demand <= room) {
            light = (room - demand) / (1.0 - d.lightStrength);
            dark = room - light;
        } else {
            const double scale = room / demand;
            dark *= scale, light = 0.0;
        }
    }
    // The total ink limit: black stays, the colours give way.
    const double limit = d.inkLimit / 100.0;
    const double colour = cyan[0] + cyan[1] + magenta[0] + magenta[1] + yellow;
    if (colour + black > limit && colour > 0.0) {
        const double scale = std::max(0.0, limit - black) / colour;
        for (auto* pair : {&cyan, &magenta}) (*pair)[0] *= scale, (*pair)[1] *= scale;
        yellow *= scale;
    }
    return {cyan[0], cyan[1], magenta[0], magenta[1], yellow, black};
}

double pairOverflow(const SeparationDesign& d, const std::array<double, 4>& x) {
    auto demand = [&](size_t ch) {
        const double v = clamp01(x[ch]) * 255.0;
        const size_t lo = std::min<size_t>(254, size_t(v));
        return d.demand[ch][lo] + (v - double(lo)) * (d.demand[ch][lo + 1] - d.demand[ch][lo]);
    };
    // A pair's demand fits beside black as long as its dark ink alone does.
    const double black = demand(3);
    return std::max(0.0, demand(0) + black - 1.0) + std::max(0.0, demand(1) + black - 1.0);
}

respack::Bytes separationGrid(const SeparationDesign& d) {
    const std::vector<uint8_t> list = axis(d.points);
    const size_t n = list.size();
    respack::Bytes out;
    out.reserve(n * n * n * n * 6);
    for (uint8_t c : list)
        for (uint8_t m : list)
            for (uint8_t y : list)
                for (uint8_t k : list) {
                    const auto ink = separateDemands(d, d.demand[0][c], d.demand[1][m],
                                                     d.demand[2][y], d.demand[3][k]);
                    uint8_t e[6];
                    for (size_t i = 0; i < 6; ++i) e[i] = toByte(ink[i]);
                    // Rounding must not take a pair and black over one solid.
                    for (size_t dark : {size_t(0), size_t(2)})
                        while (e[dark] + e[dark + 1] + e[5] > 255)
                            --(e[dark + 1] >= e[dark] ? e[dark + 1] : e[dark]);
                    out.insert(out.end(), e, e + 6);
                }
    return out;
}

void lineariseSeparation(SeparationDesign& design, const MeasureSeparation& measure) {
    // A ramp of each input alone, 33 steps.
    std::vector<uint8_t> steps;
    for (int v = 0; v < 256; v += 8) steps.push_back(uint8_t(v));
    steps.push_back(255);
    std::vector<Cmyk> patches;
    for (int ch = 0; ch < 4; ++ch)
        for (uint8_t v : steps) {
            Cmyk p;
            (ch == 0 ? p.c : ch == 1 ? p.m : ch == 2 ? p.y : p.k) = v;
            patches.push_back(p);
        }
    const std::vector<Lab> lab = measure(design, patches);
    if (lab.size() != patches.size()) throw std::logic_error("a measurement for every patch");
    for (size_t ch = 0; ch < 4; ++ch) {
        // How far from paper each step prints, made non-decreasing.
        const Lab* ramp = &lab[ch * steps.size()];
        std::vector<double> reach(steps.size());
        for (size_t i = 0; i < steps.size(); ++i)
            reach[i] = std::max(i ? reach[i - 1] : 0.0, distance(ramp[i], ramp[0]));
        const double full = reach.back();
        if (full <= 0.0) throw std::runtime_error("an ink's ramp does not move away from paper");
        // The value that reaches each even share of the way.
        std::array<double, 256> old = design.demand[ch];
        size_t seg = 0;
        for (int v = 0; v < 256; ++v) {
            const double want = full * v / 255.0;
            while (seg + 2 < steps.size() && reach[seg + 1] < want) ++seg;
            const double span = reach[seg + 1] - reach[seg];
            const double t = span > 0 ? clamp01((want - reach[seg]) / span) : 0.0;
            const double u = steps[seg] + t * (steps[seg + 1] - steps[seg]);
            const size_t lo = size_t(std::floor(u)), hi = std::min<size_t>(255, lo + 1);
            design.demand[ch][size_t(v)] = old[lo] + (u - double(lo)) * (old[hi] - old[lo]);
        }
        design.demand[ch][0] = 0.0;
    }
}

// ---------------------------------------------------------------------------
// The printer

PrinterModel::PrinterModel(Measurements m) : m_(std::move(m)) {
    if (m_.lab.size() != m_.grid.size())
        throw std::invalid_argument("one measurement for every patch of the target");
    for (int i = 0; i < m_.grid.cmyLevels; ++i)
        cmyLevels_.push_back(TargetGrid::level(i, m_.grid.cmyLevels) / 255.0);
    for (int i = 0; i < m_.grid.kLevels; ++i)
        kLevels_.push_back(TargetGrid::level(i, m_.grid.kLevels) / 255.0);
}

Lab PrinterModel::operator()(const std::array<double, 4>& x) const {
    // The cell and the offset in it, per axis.
    size_t at[4];
    double t[4];
    for (int a = 0; a < 4; ++a) {
        // The levels are even steps (rounded to bytes): the cell follows
        // from the value, then the rounded ends are used.
        const std::vector<double>& levels = a < 3 ? cmyLevels_ : kLevels_;
        const double v = clamp01(x[size_t(a)]);
        size_t i = std::min(levels.size() - 2, size_t(v * double(levels.size() - 1)));
        while (i > 0 && v < levels[i]) --i;
        while (i + 2 < levels.size() && v >= levels[i + 1]) ++i;
        at[a] = i;
        t[a] = (v - levels[i]) / (levels[i + 1] - levels[i]);
    }
    const size_t n = cmyLevels_.size(), nk = kLevels_.size();
    Lab out;
    for (int corner = 0; corner < 16; ++corner) {
        double w = 1.0;
        size_t idx[4];
        for (int a = 0; a < 4; ++a) {
            const bool up = (corner >> a) & 1;
            idx[a] = at[a] + (up ? 1 : 0);
            w *= up ? t[a] : 1.0 - t[a];
        }
        if (w == 0.0) continue;
        const Lab& v = m_.lab[((idx[0] * n + idx[1]) * n + idx[2]) * nk + idx[3]];
        out.L += w * v.L, out.a += w * v.a, out.b += w * v.b;
    }
    return out;
}

// ---------------------------------------------------------------------------
// Gamut mapping

namespace {

constexpr int kLightSteps = 101;  // lightness 0..100
constexpr int kHueSteps = 180;    // 2 degrees a step

size_t bin(double L, double hue) {
    const int l = std::clamp(int(std::lround(L)), 0, kLightSteps - 1);
    const int h = int(std::floor(hue / 2.0)) % kHueSteps;
    return size_t(l) * kHueSteps + size_t(h);
}

// Fills the holes of a boundary sampled into lightness and hue bins: within
// each hue the gaps between filled bins are bridged, then every bin takes
// the largest of its lightness neighbours and the mean of its hue
// neighbours, which removes the ragged edge of sampling.
std::vector<float> finishBoundary(std::vector<float> c) {
    for (int h = 0; h < kHueSteps; ++h) {
        int last = -1;
        for (int l = 0; l < kLightSteps; ++l) {
            const size_t i = size_t(l) * kHueSteps + size_t(h);
            if (c[i] <= 0) continue;
            if (last >= 0 && l - last > 1)
                for (int g = last + 1; g < l; ++g) {
                    const float f = float(g - last) / float(l - last);
                    c[size_t(g) * kHueSteps + size_t(h)] =
                        (1 - f) * c[size_t(last) * kHueSteps + size_t(h)] + f * c[i];
                }
            last = l;
        }
    }
    std::vector<float> wide(c.size());
    for (int l = 0; l < kLightSteps; ++l)
        for (int h = 0; h < kHueSteps; ++h) {
            float m = 0;
            for (int d = -1; d <= 1; ++d) {
                const int ll = l + d;
                if (ll >= 0 && ll < kLightSteps)
                    m = std::max(m, c[size_t(ll) * kHueSteps + size_t(h)]);
            }
            wide[size_t(l) * kHueSteps + size_t(h)] = m;
        }
    for (int l = 0; l < kLightSteps; ++l)
        for (int h = 0; h < kHueSteps; ++h) {
            float s = 0;
            for (int d = -1; d <= 1; ++d)
                s += wide[size_t(l) * kHueSteps + size_t((h + d + kHueSteps) % kHueSteps)];
            c[size_t(l) * kHueSteps + size_t(h)] = s / 3;
        }
    return c;
}

// The boundary's chroma at any lightness and hue, interpolated.
double boundaryChroma(const std::vector<float>& c, double L, double hue) {
    const double l = std::clamp(L, 0.0, 100.0), h = hue / 2.0 - 0.5;
    const int l0 = std::min(int(l), kLightSteps - 2);
    const double fl = l - l0;
    const int h0 = int(std::floor(h));
    const double fh = h - h0;
    auto at = [&](int li, int hi) {
        return double(c[size_t(li) * kHueSteps + size_t((hi % kHueSteps + kHueSteps) % kHueSteps)]);
    };
    return (1 - fl) * ((1 - fh) * at(l0, h0) + fh * at(l0, h0 + 1)) +
           fl * ((1 - fh) * at(l0 + 1, h0) + fh * at(l0 + 1, h0 + 1));
}

}  // namespace

GamutMapping::GamutMapping(const PrinterModel& printer, const RgbTableDesign& design,
                           const ColourSpaces& spaces)
    : spaces_(spaces), design_(design) {
    // What the printer reaches: CMYK within the ink limit, sampled.
    printer_.assign(size_t(kLightSteps) * kHueSteps, 0.0f);
    const double limit = design.inkLimit / 100.0;
    blackL_ = 100.0;
    constexpr int steps = 24;
    for (int k = 0; k <= 8; ++k)
        for (int c = 0; c <= steps; ++c)
            for (int m = 0; m <= steps; ++m)
                for (int y = 0; y <= steps; ++y) {
                    const std::array<double, 4> x{double(c) / steps, double(m) / steps,
                                                  double(y) / steps, k / 8.0};
                    // Within the ink limit, and where the separation still
                    // follows its inputs: what the inversion keeps to.
                    if (x[0] + x[1] + x[2] + x[3] > limit + 1e-9) continue;
                    if (design.overflow && design.overflow(x) > 0.0) continue;
                    const Lab v = printer(x);
                    const double ch = chroma(v);
                    float& slot = printer_[bin(v.L, hueDegrees(v))];
                    slot = std::max(slot, float(ch));
                    if (ch < 2.5) blackL_ = std::min(blackL_, v.L);
                }
    printer_ = finishBoundary(std::move(printer_));
    // The lightness of each hue's most colourful printable colour, smoothed
    // over neighbouring hues.
    std::vector<double> cusp(kHueSteps, 50.0);
    for (int h = 0; h < kHueSteps; ++h) {
        float most = 0;
        for (int l = 0; l < kLightSteps; ++l)
            if (printer_[size_t(l) * kHueSteps + size_t(h)] > most)
                most = printer_[size_t(l) * kHueSteps + size_t(h)], cusp[size_t(h)] = l;
    }
    cusp_.assign(kHueSteps, 0.0);
    for (int h = 0; h < kHueSteps; ++h)
        for (int d = -2; d <= 2; ++d)
            cusp_[size_t(h)] += cusp[size_t((h + d + kHueSteps) % kHueSteps)] / 5.0;
    // Black alone, made non-increasing.
    for (int k = 0; k < 256; ++k)
        blackRamp_.push_back(
            std::min(k ? blackRamp_.back() : 100.0, printer({0, 0, 0, k / 255.0}).L));
    // What sRGB holds: the faces of its cube.
    source_.assign(size_t(kLightSteps) * kHueSteps, 0.0f);
    constexpr int face = 64;
    for (int fixed = 0; fixed < 3; ++fixed)
        for (int side : {0, 255})
            for (int i = 0; i <= face; ++i)
                for (int j = 0; j <= face; ++j) {
                    int rgb[3];
                    rgb[fixed] = side;
                    rgb[(fixed + 1) % 3] = (i * 255 + face / 2) / face;
                    rgb[(fixed + 2) % 3] = (j * 255 + face / 2) / face;
                    const Lab v =
                        spaces.labFromSrgb(uint8_t(rgb[0]), uint8_t(rgb[1]), uint8_t(rgb[2]));
                    float& slot = source_[bin(v.L, hueDegrees(v))];
                    slot = std::max(slot, float(chroma(v)));
                }
    source_ = finishBoundary(std::move(source_));
}

double GamutMapping::lightness(double L) const {
    return kneeLightness(L, blackL_);
}

double GamutMapping::blackAlone(double L) const {
    if (L >= blackRamp_.front()) return 0.0;
    for (size_t i = 1; i < blackRamp_.size(); ++i)
        if (blackRamp_[i] <= L) {
            const double span = blackRamp_[i - 1] - blackRamp_[i];
            return (double(i) - (span > 0 ? (L - blackRamp_[i]) / span : 0.0)) / 255.0;
        }
    return 1.0;
}

double GamutMapping::printerChroma(double L, double hue) const {
    return boundaryChroma(printer_, L, hue);
}

double GamutMapping::cuspLightness(double hue) const {
    const double h = hue / 2.0 - 0.5;
    const int h0 = int(std::floor(h));
    const double f = h - h0;
    auto at = [&](int i) { return cusp_[size_t((i % kHueSteps + kHueSteps) % kHueSteps)]; };
    return (1 - f) * at(h0) + f * at(h0 + 1);
}

Lab GamutMapping::aim(uint8_t r, uint8_t g, uint8_t b) const {
    const Lab in = spaces_.labFromSrgb(r, g, b);
    const double L = lightness(in.L), c = chroma(in) * design_.saturation;
    if (c < 1e-6) return {L, 0.0, 0.0};
    const double hue = hueDegrees(in);
    // Along the line from a grey towards the lightness of the printer's most
    // colourful colour of this hue (its cusp) through the colour: where it
    // leaves what the printer reaches and where it leaves sRGB. Compressing
    // along it keeps the hue, and lets a colour lighter or darker than the
    // inks' own make its way to the inks' colour rather than to grey (a pure
    // yellow stays yellow, a little darker).
    // Nearly grey colours, which the inks reach anyway, keep their
    // lightness: the line turns from level to aimed at the cusp as the
    // chroma grows.
    const double w = std::min(1.0, c / 30.0);
    const double focus = L + (cuspLightness(hue) - L) * w * w;
    const double dL = L - focus, length = std::hypot(dL, c);
    const double uL = dL / length, uC = c / length;
    auto leaves = [&](const std::vector<float>& boundary, double scale) {
        double inside = 0.0, step = 0.5, t = 0.0;
        while (t < 300.0) {
            t += step;
            const double l = focus + uL * t;
            if (l < 0.0 || l > 100.0 || uC * t > boundaryChroma(boundary, l, hue) * scale) break;
            inside = t;
        }
        for (int i = 0; i < 12; ++i) {  // between the last point inside and the first outside
            const double mid = inside + step / 2, l = focus + uL * mid;
            if (l >= 0.0 && l <= 100.0 && uC * mid <= boundaryChroma(boundary, l, hue) * scale)
                inside = mid;
            step /= 2;
        }
        return inside;
    };
    const double reach = leaves(printer_, 1.0),
                 source = std::max(length, leaves(source_, design_.saturation));
    const double knee = design_.chromaKnee * reach;
    double t = length;
    if (t > knee) t = knee + compress(t - knee, source - knee, reach - knee);
    const double outL = focus + uL * t, outC = uC * t, rad = hue * kPi / 180.0;
    return {outL, outC * std::cos(rad), outC * std::sin(rad)};
}

// ---------------------------------------------------------------------------
// The inversion

namespace {

// The black the rule gives a colour: none above blackStartL, rising
// smoothly to blackMax of the black that alone would print the colour's
// lightness at blackFullL and below; less for colourful colours.
double blackRule(const RgbTableDesign& d, const GamutMapping& mapping, const Lab& aim) {
    if (aim.L >= d.blackStartL) return 0.0;
    const double t =
        smoothStep((d.blackStartL - aim.L) / std::max(1e-9, d.blackStartL - d.blackFullL));
    const double alone = mapping.blackAlone(aim.L);
    const double fade = clamp01(1.0 - chroma(aim) / d.blackChromaFade);
    return d.blackMax * t * alone * fade;
}

struct Residual {
    std::array<double, 6> r{};
    double cost() const {
        double s = 0;
        for (double v : r) s += v * v;
        return s;
    }
};

// Cyan or magenta that takes its pair beside black over one solid no longer
// prints (the separation cuts it back): brings it back to where it still
// does, which changes nothing of the colour.
void keepPairRoom(const RgbTableDesign& design, std::array<double, 4>& v) {
    if (!design.overflow) return;
    for (size_t ch : {size_t(0), size_t(1)}) {
        std::array<double, 4> alone{0, 0, 0, v[3]};
        alone[ch] = v[ch];
        if (design.overflow(alone) <= 0) continue;
        double lo = 0, hi = v[ch];
        for (int i = 0; i < 20; ++i) {
            alone[ch] = (lo + hi) / 2;
            (design.overflow(alone) > 0 ? hi : lo) = alone[ch];
        }
        v[ch] = lo;
    }
}

constexpr double kBlackWeight = 20.0;   // Lab units for a whole step of black off the rule
constexpr double kLimitWeight = 400.0;  // for going over the ink limit
// A little for every unit of colour ink, so that where an ink no longer
// moves the colour (a dark ink under full black, say) the least ink wins,
// and neighbouring nodes stay alike.
constexpr double kInkWeight = 0.8;

Residual residual(const PrinterModel& p, const RgbTableDesign& d, const std::array<double, 4>& x,
                  const Lab& aim, double black, double limit, double preference = 1.0) {
    const Lab v = p(x);
    const double over =
        std::max(0.0, x[0] + x[1] + x[2] + x[3] - limit) + (d.overflow ? d.overflow(x) : 0.0);
    Residual out;
    out.r = {v.L - aim.L,         v.a - aim.a,
             v.b - aim.b,         preference * kBlackWeight * (x[3] - black),
             kLimitWeight * over, preference * kInkWeight * (x[0] + x[1] + x[2])};
    return out;
}

}  // namespace

Solution solveCmyk(const PrinterModel& printer, const RgbTableDesign& design,
                   const GamutMapping& mapping, const Lab& aim,
                   std::span<const std::array<double, 4>> starts) {
    const double black = blackRule(design, mapping, aim), limit = design.inkLimit / 100.0;
    // A damped Gauss-Newton search from x, the black rule and the least ink
    // weighed by `preference`; gives the cost it ends on.
    auto descend = [&](std::array<double, 4>& x, double preference) {
        Residual r = residual(printer, design, x, aim, black, limit, preference);
        double cost = r.cost(), mu = 1e-3;
        for (int iter = 0; iter < 60 && cost > 1e-8; ++iter) {
            // The Jacobian by differences, stepping inwards at the edges.
            std::array<std::array<double, 6>, 4> jac{};
            for (size_t a = 0; a < 4; ++a) {
                std::array<double, 4> xs = x;
                const double h = x[a] > 0.5 ? -1.0 / 512 : 1.0 / 512;
                xs[a] += h;
                const Residual rs = residual(printer, design, xs, aim, black, limit, preference);
                for (size_t i = 0; i < rs.r.size(); ++i) jac[a][i] = (rs.r[i] - r.r[i]) / h;
            }
            std::array<std::array<double, 4>, 4> a{};
            std::array<double, 4> g{};
            for (size_t i = 0; i < 4; ++i) {
                for (size_t j = 0; j < 4; ++j)
                    for (size_t e = 0; e < r.r.size(); ++e) a[i][j] += jac[i][e] * jac[j][e];
                for (size_t e = 0; e < r.r.size(); ++e) g[i] -= jac[i][e] * r.r[e];
            }
            bool improved = false;
            while (mu < 1e6) {
                auto damped = a;
                for (size_t i = 0; i < 4; ++i) damped[i][i] += mu * (a[i][i] + 1e-6);
                std::array<double, 4> step{};
                if (!solveLinear<4>(damped, g, step)) {
                    mu *= 10;
                    continue;
                }
                std::array<double, 4> next = x;
                for (size_t i = 0; i < 4; ++i) next[i] = clamp01(x[i] + step[i]);
                const Residual rn = residual(printer, design, next, aim, black, limit, preference);
                if (rn.cost() < cost) {
                    const double moved = std::abs(next[0] - x[0]) + std::abs(next[1] - x[1]) +
                                         std::abs(next[2] - x[2]) + std::abs(next[3] - x[3]);
                    // Done when the inks move less than a hundredth of a
                    // byte or the cost hardly falls.
                    improved = moved > 4e-5 && rn.cost() < cost * (1.0 - 1e-6);
                    x = next, r = rn, cost = rn.cost(), mu = std::max(1e-7, mu / 3);
                    break;
                }
                mu *= 4;
            }
            if (!improved) break;
        }
        return cost;
    };
    // The starts from the one that begins best; a start's search is enough
    // when it ends on the colour.
    std::vector<std::pair<double, std::array<double, 4>>> order;
    for (std::array<double, 4> x : starts) {
        for (double& v : x) v = clamp01(v);
        order.push_back({residual(printer, design, x, aim, black, limit).cost(), x});
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    Solution best;
    double bestCost = 1e300;
    for (auto [initial, x] : order) {
        if (bestCost < 1e300 && distance(printer(best.cmyk), aim) < 0.2) break;
        const double cost = descend(x, 1.0);
        if (cost < bestCost) bestCost = cost, best.cmyk = x;
    }
    best.error = distance(printer(best.cmyk), aim);
    // For a colour, the black rule and the least ink are preferences, never
    // reasons to miss it: where holding to them leaves the colour short (near
    // the edge of what the inks reach, where more ink hardly moves it, or
    // where the pair beside black has no room), they are let go by steps.
    // A grey keeps to the rule, which keeps the greys' inks smooth.
    for (double preference : {0.1, 0.01}) {
        if (best.error <= 0.3 || chroma(aim) <= 3.0) break;
        std::array<double, 4> x = best.cmyk;
        descend(x, preference);
        if (const double error = distance(printer(x), aim); error < best.error)
            best.cmyk = x, best.error = error;
    }
    // The search weighs the ink limit rather than keeping to it exactly:
    // what it leaves over comes off the colours.
    auto& x = best.cmyk;
    if (const double colour = x[0] + x[1] + x[2]; colour + x[3] > limit && colour > 0.0) {
        const double scale = std::max(0.0, limit - x[3]) / colour;
        for (size_t i = 0; i < 3; ++i) x[i] *= scale;
    }
    best.error = distance(printer(best.cmyk), aim);
    return best;
}

respack::Bytes RgbTable::grid() const {
    respack::Bytes out;
    out.reserve(cmyk.size() * 4);
    for (const auto& x : cmyk)
        for (double v : x) out.push_back(toByte(v));
    return out;
}

RgbTable buildRgbTable(const PrinterModel& printer, const GamutMapping& mapping,
                       const RgbTableDesign& design) {
    const std::vector<uint8_t> list = axis(design.points);
    const size_t n = list.size();
    // First guesses: a coarse sampling of the printer.
    std::vector<std::pair<Lab, std::array<double, 4>>> coarse;  // (Lab, CMYK)
    for (int k = 0; k <= 5; ++k)
        for (int c = 0; c <= 5; ++c)
            for (int m = 0; m <= 5; ++m)
                for (int y = 0; y <= 5; ++y) {
                    const std::array<double, 4> x{c / 5.0, m / 5.0, y / 5.0, k / 5.0};
                    if (x[0] + x[1] + x[2] + x[3] <= design.inkLimit / 100.0)
                        coarse.push_back({printer(x), x});
                }
    RgbTable table;
    table.points = int(n);
    table.aims.resize(n * n * n);
    table.cmyk.resize(n * n * n);
    for (size_t i0 = 0; i0 < n; ++i0)
        for (size_t i1 = 0; i1 < n; ++i1)
            for (size_t i2 = 0; i2 < n; ++i2) {
                const size_t node = (i0 * n + i1) * n + i2;
                const Lab aim = mapping.aim(list[i0], list[i1], list[i2]);
                table.aims[node] = aim;
                std::vector<std::array<double, 4>> starts;
                if (i2 > 0) starts.push_back(table.cmyk[node - 1]);
                if (i1 > 0) starts.push_back(table.cmyk[node - n]);
                if (i0 > 0) starts.push_back(table.cmyk[node - n * n]);
                Solution found;
                found.error = 1e300;
                if (!starts.empty()) found = solveCmyk(printer, design, mapping, aim, starts);
                if (found.error > 0.3) {
                    // The two coarse samples that come closest by the whole
                    // cost (colour, black rule, limits), so that the search
                    // starts in the valley the rule wants rather than at the
                    // nearest colour.
                    // Also the nearest colour made without black and the
                    // nearest made with the most: dark colours can be made
                    // either way, and the rule's valley may not reach them.
                    const double black = blackRule(design, mapping, aim),
                                 limit = design.inkLimit / 100.0;
                    std::pair<double, size_t> best[2] = {{1e300, 0}, {1e300, 0}}, plain{1e300, 0},
                                              darkest{1e300, 0};
                    for (size_t i = 0; i < coarse.size(); ++i) {
                        const double c =
                            residual(printer, design, coarse[i].second, aim, black, limit).cost();
                        if (c < best[1].first) best[1] = {c, i};
                        if (best[1].first < best[0].first) std::swap(best[0], best[1]);
                        const double d = distance(coarse[i].first, aim);
                        if (coarse[i].second[3] == 0.0 && d < plain.first) plain = {d, i};
                        if (coarse[i].second[3] >= 0.8 && d < darkest.first) darkest = {d, i};
                    }
                    for (const auto& b : {best[0], best[1], plain, darkest})
                        starts.push_back(coarse[b.second].second);
                    found = solveCmyk(printer, design, mapping, aim, starts);
                }
                // The sampled boundary is a little generous in places: an
                // aim the inks do not reach moves, keeping its hue, towards
                // a colour they do reach, to the last point on the way they
                // reach: towards the grey of its lightness, and (for a
                // colour) towards the lightness of the hue's most colourful
                // colour, so that a colour too dark for the inks can keep
                // its chroma rather than turn grey. Whichever way ends
                // nearer the aim wins, and neither unless it beats the
                // search's own best.
                if (found.error > 0.5) {
                    starts.push_back(found.cmyk);
                    auto approach = [&](const Lab& inner) {
                        std::pair<Lab, Solution> out{
                            inner, solveCmyk(printer, design, mapping, inner, starts)};
                        if (out.second.error > 0.5) return out;
                        double lo = 0.0, hi = 1.0;
                        for (int step = 0; step < 7; ++step) {
                            const double mid = (lo + hi) / 2;
                            const Lab toward{inner.L + (aim.L - inner.L) * mid,
                                             inner.a + (aim.a - inner.a) * mid,
                                             inner.b + (aim.b - inner.b) * mid};
                            const std::array<double, 4> from[] = {out.second.cmyk, found.cmyk};
                            const Solution s = solveCmyk(printer, design, mapping, toward, from);
                            if (s.error <= 0.5)
                                lo = mid, out = {toward, s};
                            else
                                hi = mid;
                        }
                        return out;
                    };
                    std::vector<std::pair<Lab, Solution>> ways{approach({aim.L, 0.0, 0.0})};
                    if (const double c = chroma(aim); c > 3.0) {
                        // From well inside the boundary there (which is
                        // sampled, so a little further in when need be).
                        const double hue = hueDegrees(aim), Lc = mapping.cuspLightness(hue);
                        for (double share : {0.8, 0.5, 0.25}) {
                            const double scale =
                                std::min(c, share * mapping.printerChroma(Lc, hue)) / c;
                            ways.push_back(approach({Lc, aim.a * scale, aim.b * scale}));
                            if (ways.back().second.error <= 0.5) break;
                        }
                    }
                    // Failing both (the boundary is generous most where a
                    // dark ink beside black has no room), from the search's
                    // own best, turned onto the aim's hue.
                    if (std::none_of(ways.begin(), ways.end(),
                                     [](const auto& w) { return w.second.error <= 0.5; })) {
                        const Lab p = printer(found.cmyk);
                        const double c = chroma(aim), scale = c > 1e-9 ? 0.8 * chroma(p) / c : 0.0;
                        ways.push_back(approach({p.L, aim.a * scale, aim.b * scale}));
                    }
                    // Failing all, the search's own best stays, and the
                    // node's aim becomes what it prints.
                    double nearest = 1e300;
                    table.aims[node] = printer(found.cmyk);
                    for (const auto& [toward, s] : ways) {
                        const double d = distance(printer(s.cmyk), aim);
                        if (s.error <= 0.5 && d < nearest)
                            nearest = d, table.aims[node] = toward, found = s;
                    }
                }
                table.cmyk[node] = found.cmyk;
            }
    // White is paper: no ink at all.
    table.cmyk.back() = {0, 0, 0, 0};
    return table;
}

void refineRgbTable(RgbTable& table, const PrinterModel& printer, const RgbTableDesign& design,
                    const MeasureCmyk& measure, int rounds) {
    const double limit = design.inkLimit / 100.0;
    // A large table is printed at every other node; the nodes between take
    // the mean correction of the printed nodes around them.
    const size_t n = size_t(table.points), every = n > 17 ? 2 : 1;
    std::vector<size_t> printedNodes;
    for (size_t i0 = 0; i0 < n; i0 += every)
        for (size_t i1 = 0; i1 < n; i1 += every)
            for (size_t i2 = 0; i2 < n; i2 += every) printedNodes.push_back((i0 * n + i1) * n + i2);
    for (int round = 0; round < rounds; ++round) {
        std::vector<Cmyk> patches(printedNodes.size());
        for (size_t p = 0; p < patches.size(); ++p) {
            const auto& x = table.cmyk[printedNodes[p]];
            patches[p] = {toByte(x[0]), toByte(x[1]), toByte(x[2]), toByte(x[3])};
        }
        const std::vector<Lab> printed = measure(patches);
        const std::vector<std::array<double, 4>> before = table.cmyk;
        for (size_t p = 0; p < printedNodes.size(); ++p) {
            const size_t i = printedNodes[p];
            if (i + 1 == table.cmyk.size()) continue;  // white stays paper
            const Lab& aim = table.aims[i];
            const Lab miss{aim.L - printed[p].L, aim.a - printed[p].a, aim.b - printed[p].b};
            const double far = std::sqrt(miss.L * miss.L + miss.a * miss.a + miss.b * miss.b);
            // A large miss is a colour the inks cannot make, not an error of
            // the model: leave it where the inversion put it.
            if (far < 0.2 || far > 6.0) continue;
            auto& x = table.cmyk[i];
            // How the inks move the colour here, by the model: cyan,
            // magenta and yellow, and black only for the darkest greys,
            // which black carries alone (elsewhere more black would take
            // room from the colours beside it, which the model's steps
            // between its black levels do not see).
            const bool blackToo = chroma(aim) < 3.0 && x[3] > 0.8;
            std::array<std::array<double, 4>, 3> jac{};
            const Lab base = printer(x);
            for (size_t a = 0; a < (blackToo ? 4u : 3u); ++a) {
                std::array<double, 4> xs = x;
                const double h = x[a] > 0.5 ? -1.0 / 256 : 1.0 / 256;
                xs[a] += h;
                const Lab v = printer(xs);
                jac[0][a] = (v.L - base.L) / h, jac[1][a] = (v.a - base.a) / h,
                jac[2][a] = (v.b - base.b) / h;
            }
            // The smallest change of the inks that closes the miss, damped
            // so that a direction the inks barely move in takes no large
            // step: d = J^T (J J^T + lambda)^-1 miss.
            std::array<std::array<double, 3>, 3> jjt{};
            double trace = 0;
            for (size_t r = 0; r < 3; ++r) {
                for (size_t c = 0; c < 3; ++c)
                    for (size_t a = 0; a < 4; ++a) jjt[r][c] += jac[r][a] * jac[c][a];
                trace += jjt[r][r];
            }
            for (size_t r = 0; r < 3; ++r) jjt[r][r] += 1e-3 * trace + 1e-9;
            std::array<double, 3> y{};
            if (!solveLinear<3>(jjt, {miss.L, miss.a, miss.b}, y)) continue;
            std::array<double, 4> step{};
            for (size_t a = 0; a < 4; ++a)
                step[a] =
                    std::clamp(jac[0][a] * y[0] + jac[1][a] * y[1] + jac[2][a] * y[2], -0.08, 0.08);
            // A step over the ink limit is halved.
            for (int tries = 0; tries < 4; ++tries) {
                std::array<double, 4> next;
                for (size_t a = 0; a < 4; ++a) next[a] = clamp01(x[a] + step[a]);
                keepPairRoom(design, next);
                if (next[0] + next[1] + next[2] + next[3] <=
                    std::max(limit, x[0] + x[1] + x[2] + x[3]) + 1e-9) {
                    x = next;
                    break;
                }
                for (double& v : step) v *= 0.5;
            }
        }
        if (every == 1) continue;
        for (size_t i0 = 0; i0 < n; ++i0)
            for (size_t i1 = 0; i1 < n; ++i1)
                for (size_t i2 = 0; i2 < n; ++i2) {
                    const size_t idx[3] = {i0, i1, i2};
                    if (i0 % 2 == 0 && i1 % 2 == 0 && i2 % 2 == 0) continue;
                    // The printed nodes at the corners of this node's cell.
                    std::array<double, 4> moved{};
                    int corners = 0;
                    for (int c = 0; c < 8; ++c) {
                        size_t at[3];
                        bool skip = false;
                        for (int a = 0; a < 3; ++a) {
                            const bool odd = idx[a] % 2 == 1, up = (c >> a) & 1;
                            if (!odd && up) skip = true;
                            at[a] = odd ? idx[a] - 1 + (up ? 2 : 0) : idx[a];
                        }
                        if (skip) continue;
                        const size_t corner = (at[0] * n + at[1]) * n + at[2];
                        for (size_t a = 0; a < 4; ++a)
                            moved[a] += table.cmyk[corner][a] - before[corner][a];
                        ++corners;
                    }
                    auto& x = table.cmyk[(i0 * n + i1) * n + i2];
                    for (size_t a = 0; a < 4; ++a) x[a] = clamp01(x[a] + moved[a] / corners);
                }
    }
}

respack::Bytes greyRamp(int points, std::span<const uint8_t> values, std::span<const Lab> blackRamp,
                        const ColourSpaces& spaces) {
    if (values.size() != blackRamp.size() || values.size() < 2 || values.front() != 0 ||
        values.back() != 255)
        throw std::invalid_argument("a black ramp from 0 to 255 with a measurement per value");
    // Lightness of each black value, made non-increasing.
    std::vector<double> L(values.size());
    for (size_t i = 0; i < L.size(); ++i) L[i] = std::min(i ? L[i - 1] : 100.0, blackRamp[i].L);
    const double blackL = L.back();
    respack::Bytes out;
    for (uint8_t g : axis(points)) {
        const double want = kneeLightness(spaces.labFromSrgb(g, g, g).L, blackL);
        size_t i = 0;
        while (i + 2 < L.size() && L[i + 1] > want) ++i;
        const double span = L[i] - L[i + 1];
        const double t = span > 0 ? clamp01((L[i] - want) / span) : 0.0;
        out.push_back(uint8_t(std::lround(values[i] + t * (values[i + 1] - values[i]))));
    }
    out.back() = 0;  // white is paper
    return out;
}

}  // namespace inkdot::colour
