// Colour-matching fixtures built in code: lookup-table records with their
// grid, colour tables in their resource format, and text indexes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "inkdot/inkdot.h"

namespace inkdot::test {

// `points` input values from 0 to 255, evenly spread (rounded down).
std::vector<uint8_t> evenList(int points);

// A CmLut with its grid data held by the fixture. `value(node, m)` gives
// channel m of the node with the given grid indexes (i3 is 0 in three
// dimensions).
struct NodeIndex {
    int i0, i1, i2, i3;
};
using NodeValue = std::function<uint8_t(const NodeIndex&, int m)>;

struct LutWithGrid {
    CmLut lut{};
    std::vector<uint8_t> grid;

    // Three-dimensional grid over the lists (axis 2 may differ from axis 0).
    LutWithGrid(const std::vector<uint8_t>& list0, const std::vector<uint8_t>& list1,
                const std::vector<uint8_t>& list2, int channels, const NodeValue& value);
    // Four-dimensional grid: axes 0..2 as above, axis 3 over list2 again.
    static LutWithGrid fourD(const std::vector<uint8_t>& list0, const std::vector<uint8_t>& list1,
                             const std::vector<uint8_t>& list2, int channels,
                             const NodeValue& value);

    LutWithGrid(const LutWithGrid& other) : lut(other.lut), grid(other.grid) {
        lut.grid = grid.data();
    }
    LutWithGrid& operator=(const LutWithGrid&) = delete;

    uint8_t node(const NodeIndex& n, int m) const;
};

// One entry line of a table index, as its nine columns.
struct IndexLine {
    int32_t resource;
    int32_t tableClass;
    std::string nameA, nameB;
    int32_t numberA, numberB;
    std::string nameC;
    int32_t numberC, numberD;
};

// A table index as the driver ships it: some leading text, the "//" marker
// with `version` right after it, a header, the entry lines, the end line, the
// three name lists and a closing line, CR LF line ends and a NUL at the end.
struct IndexText {
    std::string version = "300";
    std::vector<IndexLine> lines;
    std::vector<std::string> listA = {"Gloss", "Matte", "Photo", "Plain"};
    std::string listBBase = "";  // written in front of list B when not empty
    std::vector<std::string> listB = {"Pro", "Vivid", "Natural"};
    std::vector<std::string> listC = {"Off", "Low", "Mid", "High", "Max"};

    IndexText& line(const IndexLine& l) {
        lines.push_back(l);
        return *this;
    }
    std::string str() const;
};

// A colour table in its resource format. Defaults: a three-dimensional table
// of 9 points per axis with even lists, four channels, kind 1, type 0,
// percentages 100/100, no tweaks, no extra block.
struct ColourTableBuilder {
    uint8_t type = 0;
    uint8_t kind = 1;
    int points = 9;
    int channels = 4;
    std::vector<uint8_t> list;  // every axis; empty: evenList(points)
    int16_t percentAt0 = 100, percentAt255 = 100;
    uint8_t tweakU[3] = {};
    int8_t tweakS[4] = {};  // S0..S2 and S3, the saturation added
    int8_t tweakV[3] = {};
    int16_t words52[3] = {};
    int16_t words64[4] = {};
    std::vector<uint8_t> extra;
    NodeValue value = [](const NodeIndex&, int) { return uint8_t{0}; };
    std::vector<uint8_t> greyList;    // empty: 255 - list value
    std::vector<uint8_t> nodeValues;  // types 50 and 51; empty: (i x 7 + m) per node i
    std::vector<uint8_t> greyShare;   // type 51; empty: 255 - v

    bool fourD() const { return type == 128; }
    std::vector<uint8_t> axisList() const { return list.empty() ? evenList(points) : list; }
    std::vector<uint8_t> bytes() const;
    // Offset of the grid data in bytes().
    size_t gridOffset() const;

    // An RGB to CMYK table with grey-component replacement: realistic ink
    // values that differ in every channel and node.
    static ColourTableBuilder rgbToCmyk(int points, uint8_t type);
    // A four-dimensional CMYK to six-ink table (type 128).
    static ColourTableBuilder cmykToSixInks(int points);
};

// The inks of an RGB colour as rgbToCmyk's grid holds them.
void rgbToCmykInks(int r, int g, int b, uint8_t out[4]);

// A CmTagList of up to eight items.
struct TagList {
    int32_t count = 0;
    CmTagPair pairs[8] = {};

    TagList& add(int32_t tag, const void* item) {
        pairs[count++] = CmTagPair{tag, item};
        return *this;
    }
    const CmTagList* list() const { return reinterpret_cast<const CmTagList*>(this); }
};

// CmNew, the index and the colour table through the exported functions;
// CmDelete at the end of the scope.
struct ColourMatching {
    CmContext* cm = nullptr;
    int32_t created = -1;
    int32_t indexResult = -1, indexAnswer = -2;
    int32_t tableResult = -1, tableAnswer = -2;

    ColourMatching(const CmParams& params, const CmSelect& select, const std::string& index,
                   const std::vector<uint8_t>& table);
    ~ColourMatching();
    ColourMatching(const ColourMatching&) = delete;
    ColourMatching& operator=(const ColourMatching&) = delete;

    const CmLut& lut() const { return *CmGetLut(cm); }
};

}  // namespace inkdot::test
