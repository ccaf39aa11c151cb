#include "colour/ink_model.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <stdexcept>

namespace inkdot::colour {
namespace {

constexpr std::array<std::string_view, kInkCount> kNames{"cyan",          "light cyan", "magenta",
                                                         "light magenta", "yellow",     "black"};

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

Linear power(const Linear& v, double p) {
    return {std::pow(v.r, p), std::pow(v.g, p), std::pow(v.b, p)};
}

// The inks as they print on a photo paper that holds them at the surface:
// films of dye inks, measured as a solid through both passes of the light.
constexpr Linear kCyan{0.008, 0.400, 0.660};
constexpr Linear kMagenta{0.800, 0.040, 0.300};
constexpr Linear kYellow{0.950, 0.820, 0.020};
constexpr Linear kBlack{0.009, 0.009, 0.009};
// A light ink carries this share of its dark ink's dye.
constexpr double kLightLoad = 0.3;

struct MediaLook {
    const char* name;
    double paper;          // reflectance of the bare paper, the same in all three channels
    double strength;       // dye that stays at the surface, as a power of the films
    double small, medium;  // cover of small and medium dots (large dots cover their pixel)
};
// Glossy paper keeps the ink on top: dense inks and little spread. Matte
// paper lets it in a little; plain paper most, so its inks print weaker,
// its dots spread most and its white is the dullest.
constexpr MediaLook kMediaLooks[] = {
    {"PlainPaper", 0.86, 0.80, 0.44, 0.68},
    {"PhotoMatte", 0.89, 0.90, 0.40, 0.63},
    {"PhotoGlossy", 0.92, 1.00, 0.36, 0.58},
};

}  // namespace

std::optional<InkId> inkByName(std::string_view name) {
    const std::string l = lower(name);
    for (size_t i = 0; i < kNames.size(); ++i)
        if (l == kNames[i]) return InkId(i);
    return std::nullopt;
}

std::optional<InkModel> InkModel::forMedia(std::string_view media) {
    const std::string want = lower(media);
    for (const MediaLook& m : kMediaLooks) {
        if (lower(m.name) != want) continue;
        InkModel model;
        model.media = m.name;
        model.paper = {m.paper, m.paper, m.paper};
        const Linear dark[] = {kCyan, kMagenta, kYellow, kBlack};
        model.film[size_t(InkId::Cyan)] = power(dark[0], m.strength);
        model.film[size_t(InkId::Magenta)] = power(dark[1], m.strength);
        model.film[size_t(InkId::Yellow)] = power(dark[2], m.strength);
        model.film[size_t(InkId::Black)] = power(dark[3], m.strength);
        model.film[size_t(InkId::LightCyan)] = power(dark[0], m.strength * kLightLoad);
        model.film[size_t(InkId::LightMagenta)] = power(dark[1], m.strength * kLightLoad);
        model.oneBitCover = 1.0;
        model.twoBitCover = {0.0, m.small, m.medium, 1.0};
        return model;
    }
    return std::nullopt;
}

double InkModel::cover(int bits, int code) const {
    if (bits == 1) return code ? oneBitCover : 0.0;
    if (bits == 2) return twoBitCover[size_t(code & 3)];
    throw std::invalid_argument("dots have one or two bits");
}

Linear InkModel::pixel(std::span<const InkId> inks, std::span<const int> codes, int bits) const {
    if (inks.size() != codes.size()) throw std::invalid_argument("one dot code per ink");
    Linear through{1, 1, 1};
    for (size_t k = 0; k < inks.size(); ++k) {
        const double a = cover(bits, codes[k]);
        const Linear& t = film[size_t(inks[k])];
        through.r *= 1.0 - a * (1.0 - t.r);
        through.g *= 1.0 - a * (1.0 - t.g);
        through.b *= 1.0 - a * (1.0 - t.b);
    }
    return {paper.r * through.r, paper.g * through.g, paper.b * through.b};
}

std::vector<Linear> InkModel::combinations(std::span<const InkId> inks, int bits) const {
    if (bits != 1 && bits != 2) throw std::invalid_argument("dots have one or two bits");
    if (inks.empty() || inks.size() > size_t(kInkCount))
        throw std::invalid_argument("one to six inks");
    const size_t count = size_t(1) << (size_t(bits) * inks.size());
    const int mask = (1 << bits) - 1;
    std::vector<Linear> out(count);
    std::vector<int> codes(inks.size());
    for (size_t e = 0; e < count; ++e) {
        for (size_t k = 0; k < inks.size(); ++k) codes[k] = int(e >> (size_t(bits) * k)) & mask;
        out[e] = pixel(inks, codes, bits);
    }
    return out;
}

Footprint::Footprint(const InkModel& model, int bits, int xResolution) : bits_(bits) {
    if (xResolution <= 1440) return;
    // The code whose cover comes nearest each pair's cover together.
    const int codes = 1 << bits, mask = codes - 1, perByte = 8 / bits;
    std::vector<int> nearest(size_t(codes * codes));
    for (int a = 0; a < codes; ++a)
        for (int b = 0; b < codes; ++b) {
            const double want = std::min(1.0, model.cover(bits, a) + model.cover(bits, b));
            int best = 0;
            for (int c = 1; c < codes; ++c)
                if (std::abs(model.cover(bits, c) - want) <
                    std::abs(model.cover(bits, best) - want))
                    best = c;
            nearest[size_t(a * codes + b)] = best;
        }
    spread_.resize(size_t(codes) * 256);
    for (int before = 0; before < codes; ++before)
        for (int byte = 0; byte < 256; ++byte) {
            int out = 0, previous = before;
            for (int slot = 0; slot < perByte; ++slot) {
                const int shift = 8 - bits * (slot + 1), own = (byte >> shift) & mask;
                out |= nearest[size_t(previous * codes + own)] << shift;
                previous = own;
            }
            spread_[size_t(before) * 256 + size_t(byte)] = uint8_t(out);
        }
}

void Footprint::spread(const uint8_t* plane, int pixels, uint8_t* out) const {
    const size_t bytes = (size_t(pixels) * size_t(bits_) + 7) / 8;
    if (!wide()) {
        if (out != plane) std::copy_n(plane, bytes, out);
        return;
    }
    // A dot in the last pixel of a byte reaches the first of the next; one
    // in the line's last pixel reaches beyond the line, where nothing is.
    const unsigned mask = (1u << bits_) - 1;
    unsigned before = 0;
    for (size_t i = 0; i < bytes; ++i) {
        const uint8_t own = plane[i];
        out[i] = spread_[size_t(before) * 256 + own];
        before = own & mask;
    }
    if (const int used = int(size_t(pixels) * size_t(bits_) % 8); used != 0)
        out[bytes - 1] = uint8_t(out[bytes - 1] & (0xFF << (8 - used)));
}

}  // namespace inkdot::colour
