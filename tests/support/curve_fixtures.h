// Curve fixtures built in code: curve sets, tables of curve sets
// (plain and in their container), and the curve stage's items and resources.
// Unlike the resource-pack generator's builders, these also write the
// malformed forms (too many lines or names, negative blocks, long records,
// wrong container bytes) that the tests feed the library on purpose.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "inkdot/inkdot.h"

namespace inkdot::test {

using Bytes = std::vector<uint8_t>;
using Curve = std::array<uint8_t, 256>;

Curve identityCurve();
Curve constantCurve(uint8_t value);

// A CmCurveSet: type byte, a 1, then the curves in set order.
Bytes curveSet(uint8_t type, const std::vector<Curve>& curves);

// A block of `channels` constant curves: curve k maps everything to base + k.
Bytes constantBlock(int channels, uint8_t base);

// One entry line of a table of curve sets.
struct CurveSetLine {
    int32_t block;
    std::string name;
    int32_t numberA, numberB, numberC, numberD;
};

// A table of curve sets as the driver ships it: leading text, "//" with the
// version, a header, the entry lines (numberD only in version 200), the
// slash end line (second marker), the name list, a line with the third
// marker, then the binary blocks one after another.
struct CurveSetTable {
    std::string version = "200";
    std::vector<CurveSetLine> lines;
    std::vector<std::string> names = {"Plain", "Photo", "Matte"};
    std::vector<Bytes> blocks;

    CurveSetTable& line(const CurveSetLine& l) {
        lines.push_back(l);
        return *this;
    }
    std::string text() const;  // everything before the blocks
    Bytes bytes() const;
};

// The container form: a 300-byte header ("TUNA", byte 96, the text offset at
// 100, byte 256, the 16-bit value at 264) and the table at `textOffset`.
struct Container {
    uint8_t byte96 = 2;
    uint16_t value264 = 2;
    uint8_t byte256 = 1;
    uint32_t textOffset = 300;
};
Bytes containerOf(const Bytes& table, const Container& header = {});

// Curve-stage selector item: "CW:", the record selector, the targets, FE FF.
Bytes selectorItem(uint8_t record, const std::vector<uint8_t>& targets);

// Resource 980: records {selector byte, map bytes} each closed by FE, then FF.
Bytes mapResource(const std::vector<std::pair<uint8_t, Bytes>>& records);

// A curve table of `count` curves; curve h maps everything to 100 + h, so a
// grid bent through it shows which curve each channel took.
Bytes stageCurveTable(int count);
inline uint8_t stageCurveValue(int h) {
    return static_cast<uint8_t>(100 + h);
}

}  // namespace inkdot::test
