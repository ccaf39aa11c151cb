// Writes the resources of the golden table into a directory, one file per
// resource number (<number>.bin), made with respack's builders. Every option
// that shapes a resource is spelled out here, so that a change of a builder's
// defaults cannot move the golden outputs unnoticed; the checksum of every
// resource stands in the golden table beside the outputs.
//
//   golden_resources DIR
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "respack/respack.h"

namespace {

using respack::Bytes;
using respack::Curve;
namespace fs = std::filesystem;

const std::vector<std::string> kKeyA{"Auto", "Graphics", "Neutral", "Standard"};
const std::vector<std::string> kKeyB{"Plain", "Matte", "Glossy"};
const std::vector<std::string> kKeyC{"None", "Linear", "Custom", "Vivid", "Matched"};

respack::IndexOptions index(std::vector<respack::IndexLine> lines, const std::string& preamble) {
    respack::IndexOptions o;
    o.version = 300;
    o.preamble = preamble;
    o.header = "res\tclass\tintent\tmedia\tquality\tdots\tmode\tinks\tvariant";
    o.lines = std::move(lines);
    o.keyA = kKeyA;
    o.keyB = kKeyB;
    o.keyBBase = 0;
    o.keyC = kKeyC;
    o.endLine = "/end";
    o.closing = "end";
    return o;
}

// The colour tables choose themselves by quality (numberA) and dots
// (numberB); the lines that differ only in class or colour mode serve the
// settings that need them.
std::string tableIndex() {
    return respack::indexText(index(
        {
            {1001, 100, "Standard", "Plain", 1, 1, "Matched", 4, 1, "17 points, plain, kind 1"},
            {1001, 100, "Neutral", "Plain", 1, 1, "None", 4, 1, "grey nodes in every channel"},
            {1001, 100, "Standard", "Plain", 1, 1, "None", 4, 1, "no re-mapping"},
            {1001, 350, "Standard", "Plain", 2, 1, "None", 4, 1, "class correction"},
            {1002, 300, "Standard", "Matte", 3, 1, "None", 4, 1, "node values, kind 3"},
            {1002, 110, "Standard", "Matte", 3, 1, "Matched", 4, 1, "node values, re-mapped"},
            {1003, 0, "Standard", "Glossy", 4, 1, "Matched", 4, 1, "grey share, kind 0"},
            {1004, 120, "Standard", "Glossy", 5, 2, "Vivid", 4, 2, "5 points, kind 2"},
            {1011, 200, "Standard", "Plain", 1, 2, "Matched", 6, 1, "six inks, level model"},
            {1012, 210, "Standard", "Plain", 2, 2, "Matched", 6, 1, "six inks, level records"},
            {1013, 220, "Standard", "Plain", 3, 2, "Matched", 6, 1, "six inks, 17 points"},
            {1014, 230, "Standard", "Plain", 4, 1, "Matched", 6, 1, "six inks, one bit"},
            {1015, 240, "Standard", "Plain", 5, 2, "Matched", 6, 1, "six inks, dot code 1"},
            {1016, 250, "Standard", "Plain", 6, 2, "Matched", 6, 1, "six inks, dot code 3"},
        },
        "golden colour-table index"));
}

// The curve stage matches with the colour mode cleared.
std::string secondIndex() {
    return respack::indexText(index(
        {
            {1950, 1, "Standard", "Plain", 1, 1, "None", 4, 1, "steps of two units"},
            {1951, 1, "Standard", "Plain", 1, 2, "None", 6, 1, "steps of one unit"},
        },
        "golden curve tables"));
}

respack::ColourTable3dOptions table3d(int points, int type, int kind, int16_t percentAt0,
                                      Bytes extra) {
    respack::ColourTable3dOptions o;
    o.points = points;
    o.type = type;
    o.kind = kind;
    o.percentAt0 = percentAt0;
    o.percentAt255 = 100;
    o.inkLimit = 280;
    o.blackStart = 0.3;
    o.ucr = 0.7;
    o.toneGamma = 1.1;
    o.greyGamma = 0.95;
    o.dominantReduction = {8, 8, 4};
    o.hueShift = {0, 0, 0, 5};
    o.lowGapReduction = {6, 6, 6};
    o.extraBlock = std::move(extra);
    o.label = "golden 3-D";
    return o;
}

respack::ColourTable4dOptions table4d(int points, int kind, int16_t percentAt0, Bytes extra) {
    respack::ColourTable4dOptions o;
    o.points = points;
    o.kind = kind;
    o.percentAt0 = percentAt0;
    o.percentAt255 = 100;
    o.inkLimit = 300;
    o.lightDensity = 0.3;
    o.darkStart = 0.2;
    o.blackGamma = 1.0;
    o.extraBlock = std::move(extra);
    o.label = "golden 4-D";
    return o;
}

Bytes kind1(int16_t code, int16_t inkScale) {
    respack::ExtraBlock1Options o;
    o.code = code;
    o.inkScale = inkScale;
    return respack::extraBlockKind1(o);
}

Bytes kind2(int16_t records, int16_t recordsSingleInk) {
    respack::ExtraBlock2Options o;
    o.records = records;
    o.recordsSingleInk = recordsSingleInk;
    return respack::extraBlockKind2(o);
}

Bytes levels(double exponent) {
    respack::GridLevelsOptions o;
    o.exponent = exponent;
    return respack::gridLevels(o);
}

Bytes records(double smallShare, double inkScale, double lowSlope) {
    respack::LevelRecordOptions o;
    o.count = 512;
    o.smallShare = smallShare;
    o.inkScale = inkScale;
    o.lowSlope = lowSlope;
    return respack::levelRecords(o);
}

// A matrix 512 wide and 4 high (width code 239): the first 2048 cells of a
// 64 x 64 Bayer order, ranked anew so that they run from 0 to 2047.
Bytes wideMatrix() {
    const respack::Matrix b = respack::bayer(64);
    std::vector<uint16_t> cells(b.values.begin(), b.values.begin() + 512 * 4);
    std::vector<uint16_t> sorted = cells;
    std::sort(sorted.begin(), sorted.end());
    respack::Matrix m{512, 4, {}};
    for (uint16_t v : cells)
        m.values.push_back(static_cast<uint16_t>(std::lower_bound(sorted.begin(), sorted.end(), v) -
                                                 sorted.begin()));
    return respack::ditherMatrix(m);
}

std::vector<Curve> curves(std::initializer_list<double> shifts) {
    std::vector<Curve> out;
    for (double s : shifts)
        out.push_back(s == 0.0 ? respack::identityCurve() : respack::midtoneCurve(s));
    return out;
}

Bytes join(const std::vector<Curve>& cs) {
    Bytes out;
    for (const Curve& c : cs) out.insert(out.end(), c.begin(), c.end());
    return out;
}

Bytes curveSetTable4() {
    respack::CurveSetTableOptions o;
    o.version = 200;
    o.preamble = "golden curve sets";
    o.header = "block\tmedia\tquality\tdots\tinks\tvariant";
    o.lines = {{1, "Matte", 1, 1, 4, 1}, {2, "Plain", 1, 1, 4, 1}, {1, "Plain", 1, 1, 4, 2}};
    o.names = kKeyB;
    o.blocks = {curves({0.0, 0.0, 0.0, 0.0}), curves({0.05, -0.05, 0.1, 0.0}),
                curves({-0.1, 0.08, 0.0, 0.12})};
    return respack::curveSetTable(o);
}

Bytes curveSetContainer6() {
    respack::CurveSetTableOptions o;
    o.version = 300;  // numberD is not written and reads as 1
    o.preamble = "golden curve sets, six inks";
    o.header = "block\tmedia\tquality\tdots\tinks";
    o.lines = {{0, "Plain", 1, 2, 6, 1}, {1, "Plain", 1, 2, 6, 1}, {0, "Glossy", 1, 2, 6, 1}};
    o.names = kKeyB;
    o.blocks = {curves({0.0, 0.0, 0.0, 0.0, 0.0, 0.0}),
                curves({0.06, 0.12, -0.06, 0.1, 0.03, -0.08})};
    return respack::curveSetContainer(respack::curveSetTable(o), 3);
}

void write(const fs::path& dir, int number, const Bytes& bytes) {
    const fs::path path = dir / (std::to_string(number) + ".bin");
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void writeText(const fs::path& dir, int number, const std::string& text) {
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);  // the engine reads text up to a NUL
    write(dir, number, bytes);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: golden_resources DIR\n");
        return 2;
    }
    const fs::path dir = argv[1];
    try {
        fs::create_directories(dir);
        writeText(dir, 0, tableIndex());
        writeText(dir, 1900, secondIndex());

        // RGB -> CMYK tables.
        write(dir, 1001, respack::colourTable3d(table3d(17, 0, 1, 350, kind1(2, 0))));
        {
            respack::ColourTable3dOptions o = table3d(9, 50, 3, 250, {});
            o.dominantReduction = {20, 12, 6};
            o.hueShift = {30, -25, 15, 12};
            o.lowGapReduction = {10, -8, 4};
            write(dir, 1002, respack::colourTable3d(o));
        }
        write(dir, 1003, respack::colourTable3d(table3d(9, 51, 0, 500, {})));
        write(dir, 1004, respack::colourTable3d(table3d(5, 0, 2, 350, kind2(5300, 5301))));

        // CMYK -> six-ink tables.
        write(dir, 1011, respack::colourTable4d(table4d(9, 1, 350, kind1(2, 0))));
        write(dir, 1012, respack::colourTable4d(table4d(9, 3, 250, kind2(5300, 5301))));
        write(dir, 1013, respack::colourTable4d(table4d(17, 1, 500, kind2(5300, 5301))));
        write(dir, 1014, respack::colourTable4d(table4d(5, 0, 350, {})));
        write(dir, 1015, respack::colourTable4d(table4d(9, 1, 500, kind1(1, 80))));
        write(dir, 1016, respack::colourTable4d(table4d(9, 1, 250, kind1(3, 120))));

        // The curve stage: maps, measurements, curve tables.
        write(dir, 980,
              respack::curveMaps({{7, {3, 2, 1, 0}}, {9, {0, 1, 2, 3, 4, 5}}, {7, {0, 2, 1, 3}}}));
        write(dir, 990, respack::curveMeasurements(1, {44, 52, 61, 38}));
        write(dir, 8990, respack::curveMeasurements(2, {40, 66, 35, 50, 55, 31}));
        write(dir, 1950, respack::curveTable(1, 0.01));
        write(dir, 1951, respack::curveTable(2, 0.012));

        // Halftone resources. Lists: grid levels, then the matrix for other
        // resolutions, x = 2y, 1440 x 720, y = 2x, 2880 x 720.
        write(dir, 5001, respack::resourceList({5100, 5201, 5202, 5204, 5203, 5205}));
        write(dir, 5002, respack::resourceList({5101, 5207, 5203, 5201, 5202, 5206}));
        write(dir, 5003, respack::resourceList({5100, 5207, 5207, 5207}));
        write(dir, 5004, respack::resourceList({5101, 5203, 5207, 5203}));
        write(dir, 5005, respack::resourceList({5101, 5206, 5204, 5206, 5206, 5206}));
        write(dir, 5100, levels(1.25));
        write(dir, 5101, levels(0.8));
        write(dir, 5201, respack::ditherMatrixBlueNoise(64));
        write(dir, 5202, respack::ditherMatrixBayer(8));
        write(dir, 5203, respack::ditherMatrixBlueNoise(16));
        write(dir, 5204, respack::ditherMatrixBayer(256));
        write(dir, 5205, respack::ditherMatrixBlueNoise(32));
        write(dir, 5206, wideMatrix());
        write(dir, 5207, respack::ditherMatrixBayer(16));
        const Bytes separated = records(0.5, 1.0, 1.0);
        write(dir, 5300, separated);
        write(dir, 5301, records(0.35, 1.2, 65.0 / 203.0));
        // The same records without their header, as the table image also reads them.
        write(dir, 5302, Bytes(separated.begin() + 32, separated.end()));

        // Items of the caller's tag list.
        write(dir, 6001, respack::curveSet(curves({0.08, -0.04, 0.0, 0.1})));
        write(dir, 6002, respack::curveSet(curves({0.05, 0.1, -0.05, 0.07, -0.1, 0.02})));
        write(dir, 6003, curveSetTable4());
        write(dir, 6004, curveSetContainer6());
        write(dir, 6005, join(curves({0.1, -0.08, 0.04})));
        write(dir, 6010, respack::curveSelector(7, {50, 45, 62, 38}));
        write(dir, 6011, respack::curveSelector(9, {40, 64, 36, 52, 55, 30}));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "golden_resources: %s\n", e.what());
        return 1;
    }
    return 0;
}
