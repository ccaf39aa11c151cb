// Colour-matching fixtures built in code: lookup-table records with their
// grid, colour tables in their resource format, and text indexes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "inkdot/inkdot.h"

namespace inkdot::test {

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

// `points` input values from 0 to 255, evenly spread (rounded down).
std::vector<uint8_t> evenList(int points);

} // namespace inkdot::test
