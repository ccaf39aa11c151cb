#include "support/curve_fixtures.h"

#include <algorithm>
#include <cstddef>

namespace inkdot::test {

Curve identityCurve() {
    Curve c{};
    for (int v = 0; v < 256; ++v) c[v] = static_cast<uint8_t>(v);
    return c;
}

Curve constantCurve(uint8_t value) {
    Curve c;
    c.fill(value);
    return c;
}

Bytes curveSet(uint8_t type, const std::vector<Curve>& curves) {
    Bytes set = {type, 1};
    for (const Curve& c : curves) set.insert(set.end(), c.begin(), c.end());
    set.resize(2 + 6 * 256);
    return set;
}

Bytes constantBlock(int channels, uint8_t base) {
    Bytes block;
    for (int k = 0; k < channels; ++k) {
        Curve c = constantCurve(static_cast<uint8_t>(base + k));
        block.insert(block.end(), c.begin(), c.end());
    }
    return block;
}

std::string CurveSetTable::text() const {
    std::string s = "Curve sets for the driver\r\n//" + version + " curve blocks\r\n";
    s += "block\tmedia\tA\tB\tC\tD\r\n";
    for (const CurveSetLine& l : lines) {
        s += std::to_string(l.block) + "\t" + l.name + "\t" + std::to_string(l.numberA) + "\t" +
             std::to_string(l.numberB) + "\t" + std::to_string(l.numberC);
        if (version == "200") s += "\t" + std::to_string(l.numberD);
        s += "\tnote\r\n";
    }
    s += "//end of blocks\r\n";
    for (size_t i = 0; i < names.size(); ++i) s += (i == 0 ? "" : "\t") + names[i];
    s += "\r\n// curves follow\r\n";
    return s;
}

Bytes CurveSetTable::bytes() const {
    std::string t = text();
    Bytes out(t.begin(), t.end());
    for (const Bytes& b : blocks) out.insert(out.end(), b.begin(), b.end());
    return out;
}

Bytes containerOf(const Bytes& table, const Container& header) {
    Bytes out(std::max<size_t>(300, header.textOffset), 0);
    out[0] = 'T';
    out[1] = 'U';
    out[2] = 'N';
    out[3] = 'A';
    out[96] = header.byte96;
    for (int i = 0; i < 4; ++i) out[100 + i] = static_cast<uint8_t>(header.textOffset >> (8 * i));
    out[256] = header.byte256;
    out[264] = static_cast<uint8_t>(header.value264);
    out[265] = static_cast<uint8_t>(header.value264 >> 8);
    out.resize(std::max(out.size(), header.textOffset + table.size()));
    std::copy(table.begin(), table.end(), out.begin() + header.textOffset);
    return out;
}

Bytes selectorItem(uint8_t record, const std::vector<uint8_t>& targets) {
    Bytes item = {'C', 'W', ':', record};
    item.insert(item.end(), targets.begin(), targets.end());
    item.push_back(0xFE);
    item.push_back(0xFF);
    return item;
}

Bytes mapResource(const std::vector<std::pair<uint8_t, Bytes>>& records) {
    Bytes out;
    for (const auto& [selector, map] : records) {
        out.push_back(selector);
        out.insert(out.end(), map.begin(), map.end());
        out.push_back(0xFE);
    }
    out.push_back(0xFF);
    return out;
}

Bytes stageCurveTable(int count) {
    Bytes out;
    for (int h = 0; h < count; ++h) {
        Curve c = constantCurve(stageCurveValue(h));
        out.insert(out.end(), c.begin(), c.end());
    }
    return out;
}

}  // namespace inkdot::test
