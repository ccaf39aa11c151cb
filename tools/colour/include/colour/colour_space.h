// Colour spaces the tools need, through Little CMS: CIELAB (D50, as colour
// measurement reports it), sRGB, linear light, and CIEDE2000.
//
// The Lab of a printed colour is media-relative, as a measuring instrument
// reports it for profiling: linear reflectance is divided by the paper's
// before conversion, so bare paper is L* 100, a* = b* = 0 on every media,
// and an intended sRGB white prints as paper.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "colour/ink_model.h"

namespace inkdot::colour {

struct Lab {
    double L = 0, a = 0, b = 0;
};

struct Xyz {
    double X = 0, Y = 0, Z = 0;
};

// Holds the transforms; building them takes a moment, using them is cheap.
// A ColourSpaces may be used from several threads at once (its transforms
// keep no cache).
class ColourSpaces {
public:
    ColourSpaces();
    ~ColourSpaces();
    ColourSpaces(const ColourSpaces&) = delete;
    ColourSpaces& operator=(const ColourSpaces&) = delete;

    // Linear light (white 1, 1, 1) to Lab D50.
    Lab labFromLinear(const Linear& v) const;
    // sRGB, 8 bits a channel, to Lab D50.
    Lab labFromSrgb(uint8_t r, uint8_t g, uint8_t b) const;
    // Lab D50 to sRGB, rounded and clipped to 0..255.
    std::array<uint8_t, 3> srgbFromLab(const Lab& v) const;
    // XYZ (D50, white Y = 1) and Lab D50.
    Lab labFromXyz(const Xyz& v) const;
    Xyz xyzFromLab(const Lab& v) const;

    // Many at once: `count` values.
    void labFromLinear(const Linear* in, Lab* out, size_t count) const;

    // The sRGB tone curve: linear light 0..1 to an encoded 0..255 (not
    // rounded) and back.
    double srgbEncode(double linear) const;
    double srgbDecode(double encoded) const;

    struct Transforms;

private:
    std::unique_ptr<Transforms> t_;
};

// The media-relative Lab of a reflectance on paper of `paper` reflectance.
Lab relativeLab(const ColourSpaces& spaces, const Linear& reflectance, const Linear& paper);

// CIEDE2000 with the usual parametric factors (1, 1, 1).
double deltaE2000(const Lab& a, const Lab& b);

// Chroma and hue angle (degrees, 0 to 360).
double chroma(const Lab& v);
double hueDegrees(const Lab& v);

}  // namespace inkdot::colour
