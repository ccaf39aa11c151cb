// respack: builds the resources a printer driver hands to inkdot.
//
// Every builder returns the bytes of one resource (text resources as a
// std::string), deterministic to the byte: the same parameters give the same
// bytes on every machine. The parameter structs have defaults that make a
// realistic resource, so a test writes the fixture it needs in one line:
//
//     auto table = respack::colourTable3d({.points = 17, .type = 50});
//     auto matrix = respack::ditherMatrix(respack::bayer(16));
//
// writeDefaultPack() lays out a whole pack: one file per resource number plus
// a manifest (manifest.json) that says what each resource is and which print
// settings select it. Builders throw std::invalid_argument for parameters
// that cannot make a well-formed resource.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace respack {

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------
// Text index (resource 0, and the second index at resourceBase + 900)

struct IndexLine {
    int32_t resource = 0;
    int32_t tableClass = 0;  // 0 is read back as -1 by the engine
    std::string keyA;        // name from the keyA list (intent)
    std::string keyB;        // name from the keyB list (media)
    int32_t numberA = 0;     // print quality
    int32_t numberB = 0;     // dot depth
    std::string keyC;        // name from the keyC list (colour mode)
    int32_t numberC = 0;     // output channels of the table
    int32_t numberD = 0;     // variant (compared from version 300 on)
    std::string comment;     // free text after the ninth column, may be empty
};

struct IndexOptions {
    int version = 300;  // written after the "//" marker; only 3xx is read as a number
    std::string preamble = "inkdot colour-table index";
    std::string header = "res\tclass\tintent\tmedia\tquality\tdots\tmode\tinks\tvariant";
    std::vector<IndexLine> lines;
    std::vector<std::string> keyA;  // at most 12 names of at most 11 characters
    std::vector<std::string> keyB;  // at most 64 names of at most 49 characters
    int32_t keyBBase = 0;           // written as a leading number when not 0
    std::vector<std::string> keyC;  // at most 12 names of at most 11 characters
    std::string endLine = "/end";   // the line that ends the entry lines
    std::string closing = "end";
};

std::string indexText(const IndexOptions& options);

// Reads an index the way the engine does (markers, tokens, lists) and gives
// back the lines with their names, plus the resolved keys of every line.
struct ParsedIndex {
    int version = 200;
    std::vector<IndexLine> lines;  // tableClass as written (0 stays 0)
    std::vector<std::string> keyA, keyB, keyC;
    int32_t keyBBase = 0;
    struct Keys {
        int32_t keyA = 0, keyB = 0, keyC = 0;
    };
    std::vector<Keys> keys;  // one per line, resolved against the lists
};
ParsedIndex parseIndex(const std::string& text);

// The selection an index line answers: the values of CmSelect / CmParams
// (after CmNew's defaults) that choose it.
struct Selection {
    int32_t keyA = 3, keyB = 0, keyC = 4;
    int32_t numberA = 0, numberB = 0, numberC = 0, numberD = 1;
};
// The resource number of the last line that matches, or 0.
int32_t chooseTable(const ParsedIndex& index, const Selection& selection);

// ---------------------------------------------------------------------------
// Colour tables

// A 3-D RGB -> CMYK table. The ink model: complement, hue masking for the
// unwanted absorptions of real inks, black generation that starts at
// `blackStart` of the grey component, under-colour removal of `ucr` times the
// black, a per-channel tone curve and a total ink limit.
struct ColourTable3dOptions {
    int points = 17;           // grid points per axis, 2..36
    int type = 0;              // 0 plain, 50 with node values, 51 also a grey-share table
    int kind = 1;              // tableKind byte: 0, 1, 2 or 3
    int16_t percentAt0 = 350;  // dot gain of an isolated dot, percent
    int16_t percentAt255 = 100;
    int inkLimit = 280;       // total ink limit, percent of one solid ink
    double blackStart = 0.3;  // grey component at which black ink begins, 0..1
    double ucr = 0.7;         // share of the black taken out of C, M and Y
    double toneGamma = 1.1;   // per-channel tone curve exponent (paper dot gain)
    double greyGamma = 0.95;  // black-only grey ramp exponent (greyList)
    std::array<uint8_t, 3> dominantReduction{8, 8, 4};  // U0..U2, percent
    std::array<int8_t, 4> hueShift{0, 0, 0, 5};         // S0..S3 (S3 adds to saturation)
    std::array<int8_t, 3> lowGapReduction{6, 6, 6};     // V0..V2, percent
    Bytes extraBlock;   // appended and referenced from the header when not empty
    std::string label;  // 15 bytes of text at the start; generated when empty
    // Measured tables: the grid (points^3 nodes of C, M, Y, K, axis 2
    // fastest), the black-only grey ramp and the grey-share table (type 51)
    // as given, instead of the formulas above. Empty: the formulas.
    Bytes grid;
    Bytes greyList;
    Bytes greyShare;
};
Bytes colourTable3d(const ColourTable3dOptions& options);

// The input values of a table's grid points on each axis, spread evenly
// from 0 to 255.
std::vector<uint8_t> axisValues(int points);

// A 4-D CMYK -> six-ink table (type 128). Output channels in table order:
// cyan, light cyan, magenta, light magenta, yellow, black. Cyan and magenta
// are split by density: below `darkStart` only the light ink (of relative
// density `lightDensity`) prints; above it the dark ink takes over until it
// prints alone at full density. Every node keeps dark + light + black of
// each pair within one solid ink, and all six within `inkLimit`.
struct ColourTable4dOptions {
    int points = 9;  // grid points per axis, 2..36
    int kind = 1;
    int16_t percentAt0 = 350;  // 250, 350 or 500 for one-bit single-ink use
    int16_t percentAt255 = 100;
    int inkLimit = 300;         // percent, over all six inks
    double lightDensity = 0.3;  // density of a light ink relative to its dark ink
    double darkStart = 0.2;     // demand at which the dark ink begins
    double blackGamma = 1.0;
    Bytes extraBlock;
    std::string label;
    // A measured table: the grid (points^4 nodes of the six inks in table
    // order, axis 3 fastest) as given, instead of the split above. Empty:
    // the split.
    Bytes grid;
};
Bytes colourTable4d(const ColourTable4dOptions& options);

// The extra block of kind 1: a chain of tagged items. The item of tag 0xFFFE
// holds the dot-size code, the item of tag 101 the ink scale in percent (0 for
// none).
struct ExtraBlock1Options {
    int16_t code = 2;
    int16_t inkScale = 0;                               // written as an item of tag 101 when not 0
    std::vector<std::pair<uint16_t, Bytes>> moreItems;  // (tag, payload) after those
};
Bytes extraBlockKind1(const ExtraBlock1Options& options);

// The extra block of kind 2: names the level-record resource (bytes 16-17) and
// the one for single-ink tables (bytes 18-19).
struct ExtraBlock2Options {
    int16_t records = 0;
    int16_t recordsSingleInk = 0;  // 0: the same as `records`
};
Bytes extraBlockKind2(const ExtraBlock2Options& options);

// The value of `gainCorrection` of the engine for the given percentages, as a
// reference for tests: about v x 100 / (the percentage at v).
int gainCorrection(int v, int percentAt0, int percentAt255);

// ---------------------------------------------------------------------------
// Halftone resources

// The resource-number list: the given numbers followed by -1.
Bytes resourceList(const std::vector<int16_t>& numbers);

// The grid-level resource: 32 levels from 0 to 255, spaced as
// 255 x (i / 31)^exponent (more levels in the highlights for exponent > 1).
struct GridLevelsOptions {
    double exponent = 1.25;
    std::vector<uint8_t> levels;  // given levels instead of the formula
};
std::vector<uint8_t> gridLevelValues(const GridLevelsOptions& options);
Bytes gridLevels(const GridLevelsOptions& options = {});

// A threshold matrix: the rank of every cell, row after row.
struct Matrix {
    int width = 0;
    int height = 0;
    std::vector<uint16_t> values;
};
// The classic recursive Bayer matrix; n is a power of two from 2 to 256.
Matrix bayer(int n);
// A blue-noise matrix made by void-and-cluster with a Gaussian filter of
// deviation 1.5 on the torus; n is a power of two from 4 to 256. A permutation
// of 0 .. n^2 - 1. The same n gives the same matrix everywhere.
Matrix blueNoise(int n);
// The dither-matrix resource of a matrix (widths 256 and 512 are coded as
// 255 and 239).
Bytes ditherMatrix(const Matrix& matrix);
Bytes ditherMatrixBlueNoise(int n);
Bytes ditherMatrixBayer(int n);

// The level records of the two-bit dot model: for every ink level, the
// amounts of small, medium and large dots. Small dots alone in the
// highlights, up to `smallShare` of the area; then medium dots join; in the
// shadows large dots take over until the solid is all large dots.
struct LevelRecord {
    int small = 0, medium = 0, large = 0;
};
struct LevelRecordOptions {
    int count = 512;
    double smallShare = 0.5;  // B of the model
    double inkScale = 1.0;    // H of the model
    double lowSlope = 1.0;    // A of the model (65/203 for a single ink)
};
std::vector<LevelRecord> levelRecordModel(const LevelRecordOptions& options);
// The level-record resource (512 records of three bytes, each record's sum
// within 255).
Bytes levelRecords(const LevelRecordOptions& options = {});

// ---------------------------------------------------------------------------
// Curves

using Curve = std::array<uint8_t, 256>;
Curve identityCurve();
// A curve that moves the mid-tones by `shift` (a fraction of full scale,
// -0.25 .. 0.25) and keeps 0 and 255 where they are.
Curve midtoneCurve(double shift);

// A ready curve set (the tag-528 item): type 2 with four curves, type 3 with six.
// Curve 0 is the curve of the table's last channel (black).
Bytes curveSet(const std::vector<Curve>& curves);

struct CurveSetLine {
    int32_t block = 0;
    std::string media;
    int32_t numberA = 0, numberB = 0, numberC = 0, numberD = 1;
};
// The text table of curve sets (the tag-544 item) with its binary blocks.
// Each block is c curves of 256 bytes in the order the set takes them.
struct CurveSetTableOptions {
    int version = 200;  // numberD is written only for version 200
    std::string preamble = "inkdot curve sets";
    std::string header = "block\tmedia\tquality\tdots\tinks\tvariant";
    std::vector<CurveSetLine> lines;
    std::vector<std::string> names;
    std::vector<std::vector<Curve>> blocks;  // all with the same number of curves
};
Bytes curveSetTable(const CurveSetTableOptions& options);
// The same table in a "TUNA" container; `type` is 2 (four channels) or 3 (six).
Bytes curveSetContainer(const Bytes& table, int type);

// The curve-stage selector (the tag-512 item): "CW:", the selector byte, a
// target per entry (30..70), 0xFE, 0xFF.
Bytes curveSelector(uint8_t selector, const std::vector<uint8_t>& targets);
// Resource 980: records of a selector byte and a map (entry -> grid channel).
Bytes curveMaps(const std::vector<std::pair<uint8_t, std::vector<uint8_t>>>& records);
// Resource 990: the mode and the measured value of every entry.
Bytes curveMeasurements(uint8_t mode, const std::vector<uint8_t>& values);
// A curve table: 21 curves (mode 1, identity at curve 10, two units a step)
// or 37 curves (mode 2, identity at curve 18, one unit a step). A unit moves
// the mid-tone by `unit` of full scale.
Bytes curveTable(int mode, double unit = 0.01);

// ---------------------------------------------------------------------------
// Packs

// What a colour table of a pack is for, for a source that builds it by
// printing: its media and role, how it is usually printed, and the pack's
// resources made so far (the halftone resources come first).
struct TableRequest {
    std::string media;
    std::string
        role;  // "one-bit", "two-bit", "two-bit fine", "draft" (4-D); "draft", "normal", ... (3-D)
    int xResolution = 1440, yResolution = 720, bits = 2;
    int32_t halftoneList = 0;  // the pack's error-diffusion list
    std::function<const Bytes&(int32_t)> resource;
    const Bytes* separation = nullptr;  // 3-D: the media's six-ink table its colours print through
};

// Where a pack's colour tables come from. Without one, the formulas of
// colourTable3d and colourTable4d make them (hand-set, instant, and what the
// library's tests use); the tools' characterisation builds them from what
// printed patches measure.
class ColourTableSource {
public:
    virtual ~ColourTableSource() = default;
    virtual Bytes separationTable(const TableRequest& request,
                                  const ColourTable4dOptions& options) = 0;
    virtual Bytes rgbTable(const TableRequest& request, const ColourTable3dOptions& options) = 0;
    // Names the method and its version in the manifest.
    virtual std::string generator() const = 0;
};

// Writes the default pack into `dir` (created when missing): <number>.bin for
// every resource and manifest.json. A blue-noise matrix already in `dir` with
// the checksum the manifest records is reused rather than made again, and so
// is a colour table that `colour` made the same way before.
void writeDefaultPack(const std::filesystem::path& dir, ColourTableSource* colour = nullptr);

// The file name of a resource in a pack.
std::string resourceFileName(int32_t number);
// Reads one resource of a pack; throws std::runtime_error when it is missing.
Bytes readResource(const std::filesystem::path& dir, int32_t number);

// FNV-1a, 64 bits: the checksum the manifest records for every resource.
uint64_t fnv1a64(const Bytes& bytes);

}  // namespace respack
