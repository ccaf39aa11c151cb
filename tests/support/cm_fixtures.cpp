#include "support/cm_fixtures.h"

#include <algorithm>
#include <cstring>

namespace inkdot::test {
namespace {

void setLists(CmLut& lut, const std::vector<uint8_t>& list0, const std::vector<uint8_t>& list1,
              const std::vector<uint8_t>& list2) {
    std::copy(list0.begin(), list0.end(), lut.list0);
    std::copy(list1.begin(), list1.end(), lut.list1);
    std::copy(list2.begin(), list2.end(), lut.list2);
}

} // namespace

LutWithGrid::LutWithGrid(const std::vector<uint8_t>& list0, const std::vector<uint8_t>& list1,
                         const std::vector<uint8_t>& list2, int channels,
                         const NodeValue& value) {
    setLists(lut, list0, list1, list2);
    lut.channels = channels;
    lut.points[0] = static_cast<int32_t>(list0.size());
    lut.points[1] = static_cast<int32_t>(list1.size());
    lut.points[2] = static_cast<int32_t>(list2.size());
    lut.points[3] = 1;
    for (int i0 = 0; i0 < lut.points[0]; ++i0)
        for (int i1 = 0; i1 < lut.points[1]; ++i1)
            for (int i2 = 0; i2 < lut.points[2]; ++i2)
                for (int m = 0; m < channels; ++m) grid.push_back(value({i0, i1, i2, 0}, m));
    lut.grid = grid.data();
}

LutWithGrid LutWithGrid::fourD(const std::vector<uint8_t>& list0,
                               const std::vector<uint8_t>& list1,
                               const std::vector<uint8_t>& list2, int channels,
                               const NodeValue& value) {
    LutWithGrid g(list0, list1, list2, channels, [](const NodeIndex&, int) { return 0; });
    g.grid.clear();
    g.lut.points[3] = g.lut.points[2];
    for (int i0 = 0; i0 < g.lut.points[0]; ++i0)
        for (int i1 = 0; i1 < g.lut.points[1]; ++i1)
            for (int i2 = 0; i2 < g.lut.points[2]; ++i2)
                for (int i3 = 0; i3 < g.lut.points[3]; ++i3)
                    for (int m = 0; m < channels; ++m)
                        g.grid.push_back(value({i0, i1, i2, i3}, m));
    g.lut.grid = g.grid.data();
    return g;
}

uint8_t LutWithGrid::node(const NodeIndex& n, int m) const {
    const int32_t* p = lut.points;
    size_t index = ((static_cast<size_t>(n.i0) * p[1] + n.i1) * p[2] + n.i2) * p[3] + n.i3;
    return grid[index * lut.channels + m];
}

std::string IndexText::str() const {
    auto joined = [](const std::vector<std::string>& names) {
        std::string s;
        for (const std::string& n : names) s += (s.empty() ? "" : "\t") + n;
        return s;
    };
    std::string s = "Colour table index\r\n//" + version + " tables by media\r\n";
    s += "res\tclass\tkeyA\tkeyB\tA\tB\tkeyC\tC\tD\r\n";
    for (const IndexLine& l : lines) {
        s += std::to_string(l.resource) + "\t" + std::to_string(l.tableClass) + "\t" + l.nameA +
             "\t" + l.nameB + "\t" + std::to_string(l.numberA) + "\t" +
             std::to_string(l.numberB) + "\t" + l.nameC + "\t" + std::to_string(l.numberC) +
             "\t" + std::to_string(l.numberD) + "\tcomment\r\n";
    }
    s += "/end of tables\r\n";
    s += joined(listA) + "\r\n";
    s += (listBBase.empty() ? "" : listBBase + "\t") + joined(listB) + "\r\n";
    s += joined(listC) + "\r\n";
    s += "end\r\n";
    return s;  // c_str() adds the NUL
}

std::vector<uint8_t> evenList(int points) {
    std::vector<uint8_t> list;
    for (int i = 0; i < points; ++i) list.push_back(static_cast<uint8_t>(255 * i / (points - 1)));
    return list;
}

} // namespace inkdot::test
