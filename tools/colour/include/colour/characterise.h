// Building colour tables from measurements: the six-ink separation
// (CMYK -> cyan, light cyan, magenta, light magenta, yellow, black),
// linearised so that each channel's colour grows evenly with its value, and
// the RGB -> CMYK table, made by inverting what a printed patch target
// measured.
//
// The RGB table aims at the media-relative Lab of the sRGB input:
//   - Lightness follows the input's L* down to 3 units above the
//     printer's black, where a short knee brings the darkest inputs onto
//     the black the inks can make (black point compensation that leaves the
//     rest of the tone scale alone).
//   - Colours the inks cannot make keep their hue and are compressed
//     towards the grey at the lightness of the printer's most colourful
//     colour of that hue: along that line, up to `chromaKnee` of the way to
//     the printer's boundary nothing moves; beyond it the rest of sRGB's
//     range is compressed smoothly into what is left.
//   - An aim the inversion cannot reach after all (the sampled boundary is
//     generous in places) moves along its hue to the last point the inks
//     make, towards its lightness's grey or towards the lightness of the
//     hue's most colourful colour, whichever ends nearer.
//   - Black generation: greys darker than `blackStartL` take black ink,
//     and from `blackFullL` down black carries `blackMax` of each grey (the
//     black that alone would print its lightness); chromatic colours take
//     less, none from `blackChromaFade`. The inversion keeps to this rule
//     unless a colour can only be reached with more or less black. The
//     separating kernels keep a dark ink, its light ink and black within one
//     solid, so a dark grey is made either mostly of black or mostly of
//     colour, and nothing in between is as dark: the rule moves the greys
//     over to black while they are still light enough to be made either
//     way, so the tone scale never has to jump from one to the other.
//   - The total of C, M, Y and K stays within `inkLimit` percent.
// The neutral greys come out of the inversion itself: a grey aims at
// a* = b* = 0, and the inks that print it are found by measurement, which is
// the grey balance.
#pragma once

#include <array>
#include <functional>
#include <span>
#include <vector>

#include "colour/colour_space.h"
#include "colour/target.h"
#include "respack/respack.h"

namespace inkdot::colour {

// ---------------------------------------------------------------------------
// The six-ink separation

struct SeparationDesign {
    int points = 17;              // grid points per axis of the table
    int inkLimit = 300;           // percent, over all six inks
    double lightStrength = 0.5;   // the demand a light ink's solid stands for
    double lightAloneTo = 0.10;   // demand up to which the light ink prints alone
    double darkAloneFrom = 0.45;  // demand from which the dark ink prints alone
    // Input value -> demand (0..1) of cyan, magenta, yellow and black: the
    // linearisation. The identity until lineariseSeparation sets it.
    std::array<std::array<double, 256>, 4> demand{};

    SeparationDesign();
};

// The six inks (table order) of one node for the demands of its four inputs.
std::array<double, 6> separateDemands(const SeparationDesign& design, double c, double m, double y,
                                      double k);
// The grid of a CMYK -> six-ink table (respack::ColourTable4dOptions::grid).
respack::Bytes separationGrid(const SeparationDesign& design);

// How far a CMYK input takes a dark ink, its light ink and black over one
// solid, which the separation then takes back from the pair (0 when it
// does not): there, more of the pair's input changes nothing.
double pairOverflow(const SeparationDesign& design, const std::array<double, 4>& cmyk);

// Prints CMYK patches through a separation and gives their media-relative Lab.
using MeasureSeparation =
    std::function<std::vector<Lab>(const SeparationDesign&, std::span<const Cmyk>)>;

// Prints a ramp of each input alone and sets the design's demand curves so
// that the colour difference from paper grows in proportion to the value:
// even steps of the input are even steps to the eye, on every dot depth and
// resolution alike.
void lineariseSeparation(SeparationDesign& design, const MeasureSeparation& measure);

// ---------------------------------------------------------------------------
// The printer, from a measured target

// CMYK (0..1 each) to media-relative Lab, interpolated in the measured grid.
class PrinterModel {
public:
    explicit PrinterModel(Measurements measurements);
    Lab operator()(const std::array<double, 4>& cmyk) const;
    const Measurements& measurements() const { return m_; }

private:
    Measurements m_;
    std::vector<double> cmyLevels_, kLevels_;
};

// ---------------------------------------------------------------------------
// The RGB -> CMYK table

struct RgbTableDesign {
    int points = 17;
    int inkLimit = 300;             // percent over C, M, Y and K
    double blackStartL = 75.0;      // greys darker than this take black ink
    double blackFullL = 40.0;       // greys darker than this are carried by black
    double blackMax = 0.95;         // the share of a grey black carries from there
    double blackChromaFade = 30.0;  // chroma from which colours take no black by rule
    double chromaKnee = 0.9;        // share of the printer's chroma left as it is
    double saturation = 1.0;        // chroma scale of the input before mapping (vivid: above 1)
    // Where the separation stops following its inputs (pairOverflow of its
    // design), kept out of; none when the separation is not known.
    std::function<double(const std::array<double, 4>&)> overflow;
};

// The aim of every sRGB colour: its Lab mapped into the printer's gamut.
class GamutMapping {
public:
    GamutMapping(const PrinterModel& printer, const RgbTableDesign& design,
                 const ColourSpaces& spaces);
    Lab aim(uint8_t r, uint8_t g, uint8_t b) const;
    // The lightness mapping alone (input L* to printed L*).
    double lightness(double L) const;
    double blackL() const { return blackL_; }
    // The black input that alone prints lightness L (0 above paper, 1 at
    // the black ink's own solid and below).
    double blackAlone(double L) const;
    // The printer's largest chroma at a lightness and hue.
    double printerChroma(double L, double hue) const;
    // The lightness at which the printer reaches its largest chroma of a hue.
    double cuspLightness(double hue) const;

private:
    const ColourSpaces& spaces_;
    RgbTableDesign design_;
    double blackL_ = 0;
    std::vector<float> printer_,
        source_;  // largest chroma by lightness (0..100) and hue (2-degree steps)
    std::vector<double> blackRamp_;  // lightness of black alone, 256 steps of its input
    std::vector<double> cusp_;       // cuspLightness by hue step
};

// Finds the CMYK (0..1) that prints `aim`, keeping to the black rule and the
// ink limit; `start` is a first guess. Returns the CMYK and the Lab distance
// left.
struct Solution {
    std::array<double, 4> cmyk{};
    double error = 0;
};
Solution solveCmyk(const PrinterModel& printer, const RgbTableDesign& design,
                   const GamutMapping& mapping, const Lab& aim,
                   std::span<const std::array<double, 4>> starts);

struct RgbTable {
    int points = 0;
    std::vector<Lab> aims;                    // per node, axis 2 fastest
    std::vector<std::array<double, 4>> cmyk;  // per node
    respack::Bytes grid() const;              // four bytes a node
};
RgbTable buildRgbTable(const PrinterModel& printer, const GamutMapping& mapping,
                       const RgbTableDesign& design);

// Prints the table's nodes and corrects each by what it measured, `rounds`
// times: what the interpolated model missed, the printer shows.
using MeasureCmyk = std::function<std::vector<Lab>(std::span<const Cmyk>)>;
void refineRgbTable(RgbTable& table, const PrinterModel& printer, const RgbTableDesign& design,
                    const MeasureCmyk& measure, int rounds);

// The black-only grey ramp (greyList) of a table of `points` points: the
// black value whose print has the grey's mapped lightness. `blackRamp` is
// the Lab of black values 0, step, 2 x step ... 255 printed with black alone.
respack::Bytes greyRamp(int points, std::span<const uint8_t> values, std::span<const Lab> blackRamp,
                        const ColourSpaces& spaces);

}  // namespace inkdot::colour
