// The model of ink on paper: what colour a device pixel takes for the dots
// it carries. It is the one place that turns dots into colour: the preview
// renders the page with it, and the characterisation measures its patch
// targets with it, so what the preview shows is what the tables were built
// to print.
//
// The model works in linear light (sRGB primaries, D65), as reflectance:
//
//   - Bare paper reflects `paper` of the light in each of red, green and blue.
//   - Each ink is a coloured film over the paper that lets through `film` of
//     the light (the film is crossed twice, in and out, which the measured
//     solid already includes). The light inks are their dark ink at a lower
//     dye load, so their film is the dark film to the power of the load
//     (absorbance grows with the amount of dye).
//   - A dot covers a share of its pixel: a one-bit dot `oneBitCover`, a
//     two-bit small, medium or large dot `twoBitCover[1..3]`. The shares are
//     larger than the ink the dot carries, as ink spreads on paper: that is
//     the dot gain of the media.
//   - Inks on one pixel overlap as if placed independently, and overlapping
//     films multiply: an ink of cover a and film T lets through
//     1 - a (1 - T), and a pixel's reflectance is the paper's times the
//     product over its inks.
//   - Seen from a distance, the eye averages the reflectance of the pixels
//     over an area (in linear light, never in encoded values).
//
// Each media the default pack ships has its own paper white, dot gain and
// ink density (ink soaks into plain paper and prints weaker there).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace inkdot::colour {

// Linear-light red, green and blue (sRGB primaries, D65), 0 to 1.
struct Linear {
    double r = 0, g = 0, b = 0;
};

// The six inks, in the order of the six-ink colour tables' channels.
enum class InkId { Cyan, LightCyan, Magenta, LightMagenta, Yellow, Black };
constexpr int kInkCount = 6;

// The ink of a plane name as the planes and the pack's ink order give it
// ("cyan", "light cyan", "magenta", "light magenta", "yellow", "black");
// nothing for any other name.
std::optional<InkId> inkByName(std::string_view name);

struct InkModel {
    std::string media;
    Linear paper;                         // reflectance of bare paper
    std::array<Linear, kInkCount> film;   // transmittance of each ink's solid film, by InkId
    double oneBitCover = 1.0;             // share of a pixel a one-bit dot covers
    std::array<double, 4> twoBitCover{};  // the same for two-bit codes 0 (none) to 3 (large)

    // The model of one of the default pack's media: "PlainPaper",
    // "PhotoMatte" or "PhotoGlossy" (case does not matter). Other names get
    // nothing.
    static std::optional<InkModel> forMedia(std::string_view media);

    // The share of a pixel that a dot of `code` covers (bits 1 or 2).
    double cover(int bits, int code) const;
    // The reflectance of one pixel: inks[i] carries a dot of codes[i].
    Linear pixel(std::span<const InkId> inks, std::span<const int> codes, int bits) const;
    // The reflectance of every dot combination a pixel of `inks` can carry:
    // entry e holds the pixel whose ink k has code (e >> (bits x k)) & mask.
    // 2^(bits x inks) entries (4096 for six inks of two-bit dots).
    std::vector<Linear> combinations(std::span<const InkId> inks, int bits) const;
};

// Where dots land. Up to 1440 dpi across, a dot is as wide as its device
// pixel. At 2880 dpi the kernels place half as many dots and each is as
// wide as two pixels: it covers its own pixel and the next. The model then
// gives each pixel the dot code whose cover comes nearest to what its own
// dot and the one before it cover of it together (all of it at most), so
// that every consumer (preview, coverage, patch measurement) sees a page at
// 2880 dpi as dense as it prints.
class Footprint {
public:
    Footprint(const InkModel& model, int bits, int xResolution);
    bool wide() const { return !spread_.empty(); }  // dots two pixels wide
    // One plane's packed line of `pixels` device pixels, as the paper sees
    // it (the same packing): a copy where dots are a pixel wide. `out` may
    // be `plane`.
    void spread(const uint8_t* plane, int pixels, uint8_t* out) const;

private:
    int bits_;
    std::vector<uint8_t> spread_;  // (code of the pixel before, plane byte) to the byte seen
};

// The dot combination of pixel x of packed planes (most significant dot
// first), numbered as `combinations` numbers them: the code of plane k in
// bits (bits x k) up. `row(k)` gives plane k's row.
template <class PlaneRow>
size_t combinationAt(int planes, int bits, int x, PlaneRow row) {
    const int perByte = 8 / bits, shift = 8 - bits * (x % perByte + 1), mask = (1 << bits) - 1;
    size_t combo = 0;
    for (int k = 0; k < planes; ++k)
        combo |= size_t((row(k)[x / perByte] >> shift) & mask) << (bits * k);
    return combo;
}

}  // namespace inkdot::colour
