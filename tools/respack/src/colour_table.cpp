// Colour tables: the 3-D RGB -> CMYK tables and the 4-D CMYK -> six-ink
// separation, with their header, axis lists, grid, grey list, node values,
// grey-share table and extra block.
#include <algorithm>
#include <cmath>

#include "bytes.h"

namespace respack {
namespace {

using namespace detail;

constexpr size_t kHeaderSize = 72;

// The header common to both table forms, up to and including byte 71.
Bytes header(const std::string& label, int type, int kind, int16_t p0, int16_t p255) {
    require(kind >= 0 && kind <= 3, "tableKind must be 0 to 3");
    require(p0 >= 1 && p255 >= 1, "the dot-gain percentages must be at least 1");
    Bytes out(kHeaderSize, 0);
    std::string text = label.substr(0, 15);
    text.resize(15, ' ');
    std::copy(text.begin(), text.end(), out.begin());
    out[15] = static_cast<uint8_t>(type);
    out[24] = static_cast<uint8_t>(kind);
    setBe16(out, 48, p0);
    setBe16(out, 50, p255);
    return out;
}

// Puts the extra block at the end and points the header at it.
void attachExtra(Bytes& out, const Bytes& extra) {
    if (extra.empty()) return;
    setLe32(out, 16, static_cast<uint32_t>(out.size()));
    setLe32(out, 20, static_cast<uint32_t>(extra.size()));
    append(out, extra);
}

// The largest value of channels 0 to 3 over the grid, recorded at bytes 64-70.
void recordChannelMaxima(Bytes& out, size_t gridStart, size_t nodes, int channels) {
    for (int ch = 0; ch < 4; ++ch) {
        int most = 0;
        for (size_t n = 0; n < nodes; ++n)
            most = std::max<int>(most, out[gridStart + n * channels + ch]);
        setBe16(out, 64 + 2 * static_cast<size_t>(ch), most);
    }
}

double smoothStep(double t) {
    t = clamp01(t);
    return t * t * (3.0 - 2.0 * t);
}

// RGB (0..1) to C, M, Y, K ink amounts (0..1).
std::array<double, 4> separateRgb(double r, double g, double b, const ColourTable3dOptions& s) {
    const double c0 = 1.0 - r, m0 = 1.0 - g, y0 = 1.0 - b;
    // Real magenta ink also absorbs some blue and real cyan some green, so
    // less yellow and magenta are needed where they print.
    const double c1 = c0;
    const double m1 = std::max(0.0, m0 - 0.06 * c0);
    const double y1 = std::max(0.0, y0 - 0.08 * m0);
    // Black generation from the grey component, then under-colour removal.
    const double grey = std::min({c0, m0, y0});
    const double k = grey * smoothStep((grey - s.blackStart) / (1.0 - s.blackStart));
    std::array<double, 4> ink{std::max(0.0, c1 - s.ucr * k), std::max(0.0, m1 - s.ucr * k),
                              std::max(0.0, y1 - s.ucr * k), k};
    for (double& v : ink) v = std::pow(v, s.toneGamma);
    // Total ink limit: black stays, the colours give way.
    const double limit = s.inkLimit / 100.0;
    const double colour = ink[0] + ink[1] + ink[2];
    if (colour + ink[3] > limit && colour > 0.0) {
        const double scale = std::max(0.0, limit - ink[3]) / colour;
        for (int i = 0; i < 3; ++i) ink[i] *= scale;
    }
    return ink;
}

struct Pair {
    double dark, light;
};

// Splits a demand (0..1) for one colour between its dark ink and its light
// ink of relative density rho: light alone up to darkStart, then the light
// ink fades out quadratically while the dark ink makes up the density.
Pair splitInk(double x, double rho, double darkStart) {
    const double peak = darkStart / rho;
    if (x <= darkStart) return {0.0, x / rho};
    const double s = (x - darkStart) / (1.0 - darkStart);
    const double light = peak * (1.0 - s) * (1.0 - s);
    return {x - rho * light, light};
}

// Keeps dark + light + black of a pair within one solid ink after rounding.
void fitPair(uint8_t& dark, uint8_t& light, uint8_t black) {
    while (dark + light + black > 255) {
        if (light >= dark)
            --light;
        else
            --dark;
    }
}

}  // namespace

std::vector<uint8_t> axisValues(int points) {
    return axisList(points);
}

int gainCorrection(int v, int a, int b) {
    const int d = 255 * b + ((255 - v) * (255 - v) * (a - b) + 1) / 255;
    const int q = d / 100;
    return (255 * v + q / 2) / q;
}

Bytes colourTable3d(const ColourTable3dOptions& s) {
    require(s.points >= 2 && s.points <= 36, "a 3-D table has 2 to 36 points per axis");
    require(s.type == 0 || s.type == 50 || s.type == 51, "a 3-D table is of type 0, 50 or 51");
    require(s.inkLimit >= 100 && s.inkLimit <= 400, "the ink limit lies from 100 to 400 percent");
    require(s.blackStart >= 0.0 && s.blackStart < 1.0, "blackStart lies in 0..1");
    require(s.ucr >= 0.0 && s.ucr <= 1.0, "ucr lies in 0..1");
    const int n = s.points;
    constexpr int c = 4;
    std::string label =
        s.label.empty() ? "RGB>CMYK " + std::to_string(n) + " t" + std::to_string(s.type) : s.label;
    Bytes out = header(label, s.type, s.kind, s.percentAt0, s.percentAt255);
    for (int i = 0; i < 3; ++i) out[32 + i] = s.dominantReduction[i];
    for (int i = 0; i < 4; ++i) out[36 + i] = static_cast<uint8_t>(s.hueShift[i]);
    for (int i = 0; i < 3; ++i) out[42 + i] = static_cast<uint8_t>(s.lowGapReduction[i]);
    setBe16(out, 52, s.inkLimit);
    setBe16(out, 54, static_cast<int>(std::lround(s.blackStart * 100.0)));
    setBe16(out, 56, static_cast<int>(std::lround(s.ucr * 100.0)));
    put8(out, n);
    put8(out, n);
    put8(out, n);
    put8(out, c);
    const std::vector<uint8_t> list = axisList(n);
    for (int axis = 0; axis < 3; ++axis) out.insert(out.end(), list.begin(), list.end());

    const size_t gridStart = out.size();
    const size_t nodes = static_cast<size_t>(n) * n * n;
    if (!s.grid.empty()) {
        require(s.grid.size() == nodes * c, "a 3-D grid holds points^3 nodes of four bytes");
        append(out, s.grid);
    } else {
        for (int i0 = 0; i0 < n; ++i0)
            for (int i1 = 0; i1 < n; ++i1)
                for (int i2 = 0; i2 < n; ++i2) {
                    auto ink = separateRgb(list[i0] / 255.0, list[i1] / 255.0, list[i2] / 255.0, s);
                    for (double v : ink) out.push_back(toByte(v));
                }
    }
    recordChannelMaxima(out, gridStart, nodes, c);

    // greyList: the black-only ink of every diagonal node.
    if (!s.greyList.empty()) {
        require(s.greyList.size() == static_cast<size_t>(n),
                "the grey list holds one value per point");
        append(out, s.greyList);
    } else {
        for (int i = 0; i < n; ++i)
            out.push_back(toByte(std::pow(1.0 - list[i] / 255.0, s.greyGamma)));
    }
    if (s.type == 50 || s.type == 51) {
        // nodeValues: the composite grey of every diagonal node.
        for (int i = 0; i < n; ++i) {
            const size_t node = (static_cast<size_t>(i) * n + i) * n + i;
            for (int ch = 0; ch < c; ++ch) out.push_back(out[gridStart + node * c + ch]);
        }
    }
    if (s.type == 51) {
        // greyShareTable: greys a little lighter in the mid-tones.
        require(s.greyShare.empty() || s.greyShare.size() == 256,
                "the grey-share table holds 256 values");
        if (!s.greyShare.empty()) {
            append(out, s.greyShare);
        } else {
            for (int v = 0; v < 256; ++v) {
                const double bow = 10.0 * std::sin(3.14159265358979323846 * v / 255.0);
                out.push_back(static_cast<uint8_t>(std::clamp<long>(std::lround(v - bow), 0, 255)));
            }
        }
    }
    attachExtra(out, s.extraBlock);
    return out;
}

Bytes colourTable4d(const ColourTable4dOptions& s) {
    require(s.points >= 2 && s.points <= 36, "a 4-D table has 2 to 36 points per axis");
    require(s.inkLimit >= 100 && s.inkLimit <= 600, "the ink limit lies from 100 to 600 percent");
    require(s.lightDensity > 0.0 && s.lightDensity < 1.0, "lightDensity lies in 0..1");
    require(s.darkStart >= 0.0 && s.darkStart <= s.lightDensity,
            "darkStart lies from 0 to lightDensity (the light ink alone cannot go further)");
    const int n = s.points;
    constexpr int c = 6;
    std::string label = s.label.empty() ? "CMYK>6ink " + std::to_string(n) : s.label;
    Bytes out = header(label, 128, s.kind, s.percentAt0, s.percentAt255);
    setBe16(out, 52, s.inkLimit);
    setBe16(out, 54, static_cast<int>(std::lround(s.lightDensity * 100.0)));
    setBe16(out, 56, static_cast<int>(std::lround(s.darkStart * 100.0)));
    put8(out, n);
    put8(out, n);
    put8(out, n);
    put8(out, n);  // N3
    put8(out, c);
    const std::vector<uint8_t> list = axisList(n);
    for (int axis = 0; axis < 4; ++axis) out.insert(out.end(), list.begin(), list.end());

    const size_t gridStart = out.size();
    const double limit = s.inkLimit / 100.0;
    const size_t nodes = static_cast<size_t>(n) * n * n * n;
    if (!s.grid.empty())
        require(s.grid.size() == nodes * c, "a 4-D grid holds points^4 nodes of six bytes");
    append(out, s.grid);
    // Without a measured grid: the split, node by node.
    for (int i0 = 0; i0 < n && s.grid.empty(); ++i0)
        for (int i1 = 0; i1 < n; ++i1)
            for (int i2 = 0; i2 < n; ++i2)
                for (int i3 = 0; i3 < n; ++i3) {
                    const double k = std::pow(list[i3] / 255.0, s.blackGamma);
                    Pair cyan = splitInk(list[i0] / 255.0, s.lightDensity, s.darkStart);
                    Pair magenta = splitInk(list[i1] / 255.0, s.lightDensity, s.darkStart);
                    double yellow = list[i2] / 255.0;
                    // Each pair with the black within one solid ink.
                    for (Pair* p : {&cyan, &magenta}) {
                        const double sum = p->dark + p->light;
                        if (sum + k > 1.0 && sum > 0.0) {
                            const double scale = (1.0 - k) / sum;
                            p->dark *= scale;
                            p->light *= scale;
                        }
                    }
                    // The total ink limit: black stays, the colours give way.
                    const double colour =
                        cyan.dark + cyan.light + magenta.dark + magenta.light + yellow;
                    if (colour + k > limit && colour > 0.0) {
                        const double scale = std::max(0.0, limit - k) / colour;
                        cyan.dark *= scale, cyan.light *= scale;
                        magenta.dark *= scale, magenta.light *= scale;
                        yellow *= scale;
                    }
                    uint8_t e[c] = {toByte(cyan.dark),     toByte(cyan.light), toByte(magenta.dark),
                                    toByte(magenta.light), toByte(yellow),     toByte(k)};
                    fitPair(e[0], e[1], e[5]);
                    fitPair(e[2], e[3], e[5]);
                    out.insert(out.end(), e, e + c);
                }
    recordChannelMaxima(out, gridStart, nodes, c);
    for (int i = 0; i < n; ++i) out.push_back(toByte(std::pow(list[i] / 255.0, s.blackGamma)));
    attachExtra(out, s.extraBlock);
    return out;
}

Bytes extraBlockKind1(const ExtraBlock1Options& s) {
    Bytes out;
    auto item = [&](uint16_t tag, const Bytes& payload) {
        putLe32(out, static_cast<uint32_t>(2 + payload.size()));
        putLe16(out, tag);
        append(out, payload);
    };
    item(0xFFFE,
         Bytes{static_cast<uint8_t>(s.code & 0xFF), static_cast<uint8_t>((s.code >> 8) & 0xFF)});
    if (s.inkScale != 0)
        item(101, Bytes{static_cast<uint8_t>(s.inkScale & 0xFF),
                        static_cast<uint8_t>((s.inkScale >> 8) & 0xFF)});
    for (const auto& [tag, payload] : s.moreItems) item(tag, payload);
    putLe32(out, 0);
    return out;
}

Bytes extraBlockKind2(const ExtraBlock2Options& s) {
    Bytes out;
    putLe32(out, 4);
    putLe32(out, 2);
    for (uint8_t b : {0xFB, 0x69, 0xF7, 0xDC}) out.push_back(b);
    putLe32(out, 0);
    putLe16(out, s.records);
    putLe16(out, s.recordsSingleInk != 0 ? s.recordsSingleInk : s.records);
    putLe32(out, 0);
    return out;
}

}  // namespace respack
