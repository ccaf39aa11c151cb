#include "chart.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace inkdot::cli {
namespace {

constexpr double kPi = 3.14159265358979323846;

// 5 x 7 glyphs, one byte a row, bit 4 the leftmost dot.
struct Glyph {
    char c;
    uint8_t rows[7];
};
constexpr Glyph kFont[] = {
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
    {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}},
    {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {',', {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}},
    {'/', {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00}},
    {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}},
    {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}},
    {'+', {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00}},
    {'=', {0x00, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00}},
    {'!', {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04}},
    {'?', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04}},
    {'\'', {0x04, 0x04, 0x08, 0x00, 0x00, 0x00, 0x00}},
    {'#', {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A}},
    {'*', {0x00, 0x04, 0x15, 0x0E, 0x15, 0x04, 0x00}},
    {'_', {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F}},
};

const Glyph* glyph(char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    for (const Glyph& g : kFont)
        if (g.c == c) return &g;
    return nullptr;
}

class Canvas {
public:
    Canvas(Image& image) : im_(image), unit_(image.width / 1240.0) {}

    // Layout units: the page is 1240 units wide.
    int u(double v) const { return int(std::lround(v * unit_)); }
    double unit() const { return unit_; }

    void put(int x, int y, double r, double g, double b) {
        if (x < 0 || y < 0 || x >= im_.width || y >= im_.height) return;
        uint8_t* p = &im_.pixels[(size_t(y) * size_t(im_.width) + size_t(x)) * 3];
        p[0] = byte(r), p[1] = byte(g), p[2] = byte(b);
    }
    void blend(int x, int y, double r, double g, double b, double alpha) {
        if (x < 0 || y < 0 || x >= im_.width || y >= im_.height || alpha <= 0) return;
        uint8_t* p = &im_.pixels[(size_t(y) * size_t(im_.width) + size_t(x)) * 3];
        const double a = std::min(1.0, alpha);
        p[0] = byte(p[0] * (1 - a) + r * a), p[1] = byte(p[1] * (1 - a) + g * a),
        p[2] = byte(p[2] * (1 - a) + b * a);
    }
    // A rectangle in layout units, coloured by f(x, y) with x and y from 0 to 1 across it.
    template <class F>
    void rect(double x0, double y0, double x1, double y1, F f) {
        const int px0 = u(x0), py0 = u(y0), px1 = std::max(px0 + 1, u(x1)),
                  py1 = std::max(py0 + 1, u(y1));
        for (int y = py0; y < py1; ++y)
            for (int x = px0; x < px1; ++x) {
                const double fx = px1 - px0 > 1 ? double(x - px0) / (px1 - px0 - 1) : 0.0;
                const double fy = py1 - py0 > 1 ? double(y - py0) / (py1 - py0 - 1) : 0.0;
                const auto c = f(fx, fy);
                put(x, y, c[0], c[1], c[2]);
            }
    }
    void fill(double x0, double y0, double x1, double y1, std::array<double, 3> c) {
        rect(x0, y0, x1, y1, [&](double, double) { return c; });
    }
    void text(double x, double y, const std::string& s, double size,
              std::array<double, 3> c = {0, 0, 0}) {
        const uint8_t rgb[3] = {byte(c[0]), byte(c[1]), byte(c[2])};
        drawText(im_, u(x), u(y), s, std::max(1, u(size)), rgb);
    }
    Image& image() { return im_; }

    static uint8_t byte(double v) {
        return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
    }

private:
    Image& im_;
    double unit_;
};

using Rgb = std::array<double, 3>;

Rgb hsv(double h, double s, double v) {
    h = std::fmod(h, 360.0);
    if (h < 0) h += 360.0;
    const double c = v * s, x = c * (1 - std::fabs(std::fmod(h / 60.0, 2.0) - 1)), m = v - c;
    Rgb rgb;
    if (h < 60)
        rgb = {c, x, 0};
    else if (h < 120)
        rgb = {x, c, 0};
    else if (h < 180)
        rgb = {0, c, x};
    else if (h < 240)
        rgb = {0, x, c};
    else if (h < 300)
        rgb = {x, 0, c};
    else
        rgb = {c, 0, x};
    return {(rgb[0] + m) * 255, (rgb[1] + m) * 255, (rgb[2] + m) * 255};
}

Rgb mix(Rgb a, Rgb b, double t) {
    return {a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t};
}

constexpr Rgb kWhite{255, 255, 255}, kBlack{0, 0, 0};

// Hue by angle, saturation by distance from the centre, anti-aliased rim.
void hueWheel(Canvas& cv, double cx, double cy, double radius) {
    const double pcx = cx * cv.unit(), pcy = cy * cv.unit(), r = radius * cv.unit();
    for (int y = int(pcy - r) - 1; y <= int(pcy + r) + 1; ++y)
        for (int x = int(pcx - r) - 1; x <= int(pcx + r) + 1; ++x) {
            const double dx = x + 0.5 - pcx, dy = y + 0.5 - pcy, d = std::sqrt(dx * dx + dy * dy);
            const double alpha = std::clamp(r - d + 0.5, 0.0, 1.0);
            if (alpha <= 0) continue;
            const double angle = std::atan2(-dy, dx) * 180.0 / kPi;
            const Rgb c = hsv(angle, std::min(1.0, d / r), 1.0);
            cv.blend(x, y, c[0], c[1], c[2], alpha);
        }
}

// Alternating black and white wedges: the spokes meet below what any
// resolution can show, so the blur circle in the middle shows the detail limit.
void star(Canvas& cv, double cx, double cy, double radius, int spokes) {
    const double pcx = cx * cv.unit(), pcy = cy * cv.unit(), r = radius * cv.unit();
    for (int y = int(pcy - r) - 1; y <= int(pcy + r) + 1; ++y)
        for (int x = int(pcx - r) - 1; x <= int(pcx + r) + 1; ++x) {
            double dark = 0;
            int inside = 0;
            for (int sy = 0; sy < 3; ++sy)
                for (int sx = 0; sx < 3; ++sx) {
                    const double dx = x + (sx + 0.5) / 3 - pcx, dy = y + (sy + 0.5) / 3 - pcy;
                    if (dx * dx + dy * dy > r * r) continue;
                    ++inside;
                    const double a = std::atan2(dy, dx) + kPi;
                    dark += int(a / (2 * kPi) * spokes * 2) % 2 == 0 ? 1 : 0;
                }
            if (inside) cv.blend(x, y, 0, 0, 0, dark / 9.0);
        }
}

}  // namespace

void drawText(Image& image, int x, int y, const std::string& text, int scale,
              const uint8_t rgb[3]) {
    for (size_t i = 0; i < text.size(); ++i) {
        const Glyph* g = glyph(text[i]);
        if (!g) continue;
        const int gx = x + int(i) * 6 * scale;
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col)
                if (g->rows[row] & (0x10 >> col))
                    for (int dy = 0; dy < scale; ++dy)
                        for (int dx = 0; dx < scale; ++dx) {
                            const int px = gx + col * scale + dx, py = y + row * scale + dy;
                            if (px < 0 || py < 0 || px >= image.width || py >= image.height)
                                continue;
                            std::memcpy(
                                &image.pixels[(size_t(py) * size_t(image.width) + size_t(px)) * 3],
                                rgb, 3);
                        }
    }
}

Image drawChart(int width, int height) {
    Image image;
    image.width = width;
    image.height = height;
    image.space = ColourSpace::Rgb;
    image.format = "chart";
    image.pixels.assign(size_t(width) * size_t(height) * 3, 255);
    Canvas cv(image);
    // The layout is drawn for a height of 1754 units; a shorter image keeps
    // what fits.
    cv.text(60, 36, "INKDOT TEST CHART", 5);
    cv.text(60, 86, "GRADIENTS - HUE WHEEL - GREY RAMP - SKIN AND SKY - FINE LINES - SMALL TEXT",
            2);

    // Hue wheel.
    hueWheel(cv, 290, 360, 205);
    cv.text(215, 580, "HUE WHEEL", 2);

    // Grey: eleven steps, then a smooth ramp.
    for (int i = 0; i <= 10; ++i) {
        const double v = 255.0 * (10 - i) / 10.0, x = 560 + i * 56;
        cv.fill(x, 150, x + 56, 260, {v, v, v});
        cv.text(x + (i == 10 ? 10 : i == 0 ? 22 : 16), 268, std::to_string(i * 10), 2);
    }
    cv.rect(560, 300, 1176, 360, [](double fx, double) {
        const double v = 255.0 * (1 - fx);
        return Rgb{v, v, v};
    });
    cv.text(560, 368, "GREY RAMP 0-100%", 2);

    // Solid inks and primaries.
    const Rgb solids[] = {{0, 255, 255}, {255, 0, 255}, {255, 255, 0}, {255, 0, 0},
                          {0, 255, 0},   {0, 0, 255},   {0, 0, 0},     {255, 255, 255}};
    const char* names[] = {"C", "M", "Y", "R", "G", "B", "K", "W"};
    for (int i = 0; i < 8; ++i) {
        const double x = 560 + i * 77;
        cv.fill(x, 410, x + 70, 500, solids[i]);
        cv.text(x + 28, 508, names[i], 2);
    }
    cv.fill(560 + 7 * 77, 410, 560 + 7 * 77 + 70, 411, kBlack);
    cv.fill(560 + 7 * 77, 499, 560 + 7 * 77 + 70, 500, kBlack);

    // Gradients from white to each ink and primary, and to black.
    const Rgb ends[] = {{0, 255, 255}, {255, 0, 255}, {255, 255, 0}, {255, 0, 0},
                        {0, 160, 0},   {0, 0, 255},   {0, 0, 0}};
    const char* gradientNames[] = {"CYAN", "MAGENTA", "YELLOW", "RED", "GREEN", "BLUE", "BLACK"};
    for (int i = 0; i < 7; ++i) {
        const double y = 630 + i * 48;
        cv.text(60, y + 12, gradientNames[i], 2);
        cv.rect(200, y, 1176, y + 38, [&](double fx, double) { return mix(kWhite, ends[i], fx); });
    }

    // The spectrum: hue across, from white at the top through the full
    // colour to black at the bottom.
    cv.rect(60, 980, 1176, 1160, [](double fx, double fy) {
        const Rgb c = hsv(fx * 360.0, 1.0, 1.0);
        return fy < 0.5 ? mix(kWhite, c, fy * 2) : mix(c, kBlack, (fy - 0.5) * 2);
    });

    // Skin and sky, with foliage for a reference green.
    struct Patch {
        const char* name;
        Rgb c;
    };
    const Patch skin[] = {{"PALE", {241, 211, 190}},   {"LIGHT", {222, 176, 150}},
                          {"MEDIUM", {194, 150, 130}}, {"TAN", {168, 118, 88}},
                          {"BROWN", {125, 86, 66}},    {"DEEP", {86, 58, 44}}};
    const Patch sky[] = {{"HAZE", {200, 222, 240}},
                         {"SKY", {135, 180, 225}},
                         {"BLUE SKY", {98, 122, 157}},
                         {"DEEP SKY", {40, 80, 150}},
                         {"FOLIAGE", {87, 108, 67}}};
    cv.text(60, 1186, "SKIN", 2);
    for (int i = 0; i < 6; ++i) {
        const double x = 60 + i * 94;
        cv.fill(x, 1206, x + 86, 1300, skin[i].c);
        cv.text(x, 1306, skin[i].name, 2);
    }
    cv.text(650, 1186, "SKY", 2);
    for (int i = 0; i < 5; ++i) {
        const double x = 650 + i * 106;
        cv.fill(x, 1206, x + 98, 1300, sky[i].c);
        cv.text(x, 1306, sky[i].name, 2);
    }

    // Fine lines: one, two and three pixels wide, both ways.
    cv.text(60, 1346, "FINE LINES", 2);
    const int lw[] = {1, 1, 2, 3};
    const int gap[] = {1, 3, 2, 3};
    const int px0 = cv.u(60), py0 = cv.u(1370), side = cv.u(110);
    for (int g = 0; g < 4; ++g) {
        // Horizontal lines in the top row of blocks, vertical below.
        const int bx = px0 + g * (side + cv.u(14));
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                const bool hline = y % (lw[g] + gap[g]) < lw[g];
                const bool vline = x % (lw[g] + gap[g]) < lw[g];
                cv.put(bx + x, py0 + y, hline ? 0 : 255, hline ? 0 : 255, hline ? 0 : 255);
                cv.put(bx + x, py0 + side + cv.u(14) + y, vline ? 0 : 255, vline ? 0 : 255,
                       vline ? 0 : 255);
            }
    }
    star(cv, 760, 1480, 112, 36);
    // Hair lines of the inks.
    const Rgb hair[] = {{0, 255, 255}, {255, 0, 255}, {255, 255, 0}, {0, 0, 0}};
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 5; ++k) {
            const double x = 910 + i * 70 + k * 12;
            cv.fill(x, 1370, x + 1.0 / cv.unit(), 1600, hair[i]);
        }

    // Small text at three sizes.
    cv.text(60, 1622, "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG", 3);
    cv.text(60, 1652, "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789 (+-=%/?!)", 2);
    cv.text(60, 1674,
            "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789 (+-=%/?!) - SMALLEST TEXT, ONE "
            "DOT A PIXEL",
            1);
    cv.text(60, 1690,
            "PRINTED BY INKDOT: RGB TO CMYK TO SIX INKS, HALFTONED TO SMALL, MEDIUM AND LARGE DOTS",
            1);
    return image;
}

}  // namespace inkdot::cli
