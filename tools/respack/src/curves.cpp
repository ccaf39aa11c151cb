// Curves: ready curve sets, text tables of curve sets (plain and in a
// container), and the resources of the curve stage.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "bytes.h"

namespace respack {

using namespace detail;

Curve identityCurve() {
    Curve c{};
    for (int v = 0; v < 256; ++v) c[v] = static_cast<uint8_t>(v);
    return c;
}

Curve midtoneCurve(double shift) {
    require(shift >= -0.25 && shift <= 0.25, "a mid-tone shift lies from -0.25 to 0.25");
    Curve c{};
    for (int v = 0; v < 256; ++v) {
        const double x = v / 255.0;
        c[v] = toByte(x + shift * 4.0 * x * (1.0 - x));
    }
    return c;
}

Bytes curveSet(const std::vector<Curve>& curves) {
    require(curves.size() == 4 || curves.size() == 6, "a curve set has four or six curves");
    Bytes out(2 + 256 * curves.size());
    out[0] = static_cast<uint8_t>(curves.size() == 4 ? 2 : 3);
    out[1] = 1;
    for (size_t k = 0; k < curves.size(); ++k)
        std::copy(curves[k].begin(), curves[k].end(), out.begin() + 2 + 256 * k);
    return out;
}

namespace {
void checkTextPart(const std::string& s, const char* what) {
    require(s.find("//") == std::string::npos, std::string(what) + " holds a // marker");
    for (char c : s)
        require(c != '\r' && c != '\n' && c != '\0' && c != '\x1a',
                std::string(what) + " holds a line end");
}
}  // namespace

Bytes curveSetTable(const CurveSetTableOptions& s) {
    require(!s.blocks.empty(), "a curve-set table has at least one block");
    require(s.lines.size() <= 100, "a curve-set table holds at most 100 lines");
    require(!s.names.empty() && s.names.size() <= 64, "the name list holds 1 to 64 names");
    const size_t perBlock = s.blocks.front().size();
    require(perBlock >= 1, "a block holds at least one curve");
    for (const auto& b : s.blocks)
        require(b.size() == perBlock, "all blocks hold the same number of curves");
    checkTextPart(s.preamble, "the preamble");
    checkTextPart(s.header, "the header");
    for (const auto& n : s.names) {
        checkTextPart(n, "a name");
        require(!n.empty() && n.size() <= 49 && n.find_first_of(" \t") == std::string::npos,
                "a name has 1 to 49 characters and no blanks");
    }

    std::string text =
        s.preamble + "\r\n//" + std::to_string(s.version) + " curve sets\r\n" + s.header + "\r\n";
    for (const CurveSetLine& l : s.lines) {
        require(l.block >= 0 && static_cast<size_t>(l.block) < s.blocks.size(),
                "a line names a missing block");
        checkTextPart(l.media, "a media name");
        text += std::to_string(l.block) + '\t' + l.media + '\t' + std::to_string(l.numberA) + '\t' +
                std::to_string(l.numberB) + '\t' + std::to_string(l.numberC);
        if (s.version == 200) text += '\t' + std::to_string(l.numberD);
        text += "\r\n";
    }
    text += "//end\r\n";
    for (size_t i = 0; i < s.names.size(); ++i) text += (i ? "\t" : "") + s.names[i];
    text += "\r\n//curves\r\n";
    Bytes out(text.begin(), text.end());
    for (const auto& block : s.blocks)
        for (const Curve& c : block) out.insert(out.end(), c.begin(), c.end());
    const uint8_t first = s.blocks.front().front()[0];
    require(first != '\r' && first != '\n', "the binary part cannot begin with a CR or LF byte");
    return out;
}

Bytes curveSetContainer(const Bytes& table, int type) {
    require(type == 2 || type == 3, "a container holds curve sets of type 2 or 3");
    constexpr size_t kTextOffset = 272;
    Bytes out(kTextOffset + table.size(), 0);
    std::memcpy(out.data(), "TUNA", 4);
    const char* label = "inkdot curve sets";
    std::memcpy(out.data() + 4, label, std::strlen(label));
    out[96] = 2;
    setLe32(out, 100, kTextOffset);
    out[256] = 1;
    out[264] = static_cast<uint8_t>(type);
    std::copy(table.begin(), table.end(), out.begin() + kTextOffset);
    return out;
}

Bytes curveSelector(uint8_t selector, const std::vector<uint8_t>& targets) {
    require(!targets.empty() && targets.size() <= 20, "a selector has 1 to 20 targets");
    Bytes out{'C', 'W', ':', selector};
    for (uint8_t t : targets) {
        require(t >= 30 && t <= 70, "a target lies from 30 to 70");
        out.push_back(t);
    }
    out.push_back(0xFE);
    out.push_back(0xFF);
    return out;
}

Bytes curveMaps(const std::vector<std::pair<uint8_t, std::vector<uint8_t>>>& records) {
    Bytes out;
    for (const auto& [selector, map] : records) {
        require(map.size() + 1 <= 20, "a record holds at most 19 map bytes");
        require(selector < 0xFE, "a selector byte is below 0xFE");
        out.push_back(selector);
        for (uint8_t m : map) {
            require(m < 20, "a map entry names a channel below 20");
            out.push_back(m);
        }
        out.push_back(0xFE);
    }
    out.push_back(0xFF);
    return out;
}

Bytes curveMeasurements(uint8_t mode, const std::vector<uint8_t>& values) {
    require(mode < 30 || mode > 70, "a mode from 30 to 70 would be read as the first value");
    require(!values.empty() && values.size() <= 20, "1 to 20 measured values");
    Bytes out(1 + values.size());
    out[0] = mode;
    std::copy(values.begin(), values.end(), out.begin() + 1);
    return out;
}

Bytes curveTable(int mode, double unit) {
    const int count = mode == 2 ? 37 : 21, centre = mode == 2 ? 18 : 10, step = mode == 2 ? 1 : 2;
    require(unit > 0.0 && unit * centre * step <= 0.25,
            "the unit keeps every curve within a shift of 0.25");
    Bytes out;
    for (int h = 0; h < count; ++h) {
        const Curve c = midtoneCurve((h - centre) * step * unit);
        out.insert(out.end(), c.begin(), c.end());
    }
    return out;
}

}  // namespace respack
