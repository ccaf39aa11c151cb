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

}  // namespace

LutWithGrid::LutWithGrid(const std::vector<uint8_t>& list0, const std::vector<uint8_t>& list1,
                         const std::vector<uint8_t>& list2, int channels, const NodeValue& value) {
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

LutWithGrid LutWithGrid::fourD(const std::vector<uint8_t>& list0, const std::vector<uint8_t>& list1,
                               const std::vector<uint8_t>& list2, int channels,
                               const NodeValue& value) {
    LutWithGrid g(list0, list1, list2, channels, [](const NodeIndex&, int) { return 0; });
    g.grid.clear();
    g.lut.points[3] = g.lut.points[2];
    for (int i0 = 0; i0 < g.lut.points[0]; ++i0)
        for (int i1 = 0; i1 < g.lut.points[1]; ++i1)
            for (int i2 = 0; i2 < g.lut.points[2]; ++i2)
                for (int i3 = 0; i3 < g.lut.points[3]; ++i3)
                    for (int m = 0; m < channels; ++m) g.grid.push_back(value({i0, i1, i2, i3}, m));
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
             "\t" + l.nameB + "\t" + std::to_string(l.numberA) + "\t" + std::to_string(l.numberB) +
             "\t" + l.nameC + "\t" + std::to_string(l.numberC) + "\t" + std::to_string(l.numberD) +
             "\tcomment\r\n";
    }
    s += "/end of tables\r\n";
    s += joined(listA) + "\r\n";
    s += (listBBase.empty() ? "" : listBBase + "\t") + joined(listB) + "\r\n";
    s += joined(listC) + "\r\n";
    s += "end\r\n";
    return s;  // c_str() adds the NUL
}

namespace {

void putBe16(std::vector<uint8_t>& b, size_t at, int16_t v) {
    b[at] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}
void putLe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

size_t ColourTableBuilder::gridOffset() const {
    return 76 + 3 * static_cast<size_t>(points) + (fourD() ? points + 1 : 0);
}

std::vector<uint8_t> ColourTableBuilder::bytes() const {
    const std::vector<uint8_t> l = axisList();
    const int n = points, n3 = fourD() ? points : 1;
    std::vector<uint8_t> b(76, 0);
    for (int i = 0; i < 15; ++i) b[i] = static_cast<uint8_t>('A' + i);  // not read
    b[15] = type;
    b[24] = kind;
    for (int i = 0; i < 3; ++i) b[32 + i] = tweakU[i];
    for (int i = 0; i < 4; ++i) b[36 + i] = static_cast<uint8_t>(tweakS[i]);
    for (int i = 0; i < 3; ++i) b[42 + i] = static_cast<uint8_t>(tweakV[i]);
    putBe16(b, 48, percentAt0);
    putBe16(b, 50, percentAt255);
    for (int i = 0; i < 3; ++i) putBe16(b, 52 + 2 * i, words52[i]);
    for (int i = 0; i < 4; ++i) putBe16(b, 64 + 2 * i, words64[i]);
    b[72] = b[73] = b[74] = static_cast<uint8_t>(n);
    if (fourD()) {
        b[75] = static_cast<uint8_t>(n3);
        b.push_back(static_cast<uint8_t>(channels));
    } else {
        b[75] = static_cast<uint8_t>(channels);
    }
    for (int axis = 0; axis < (fourD() ? 4 : 3); ++axis) b.insert(b.end(), l.begin(), l.end());
    for (int i0 = 0; i0 < n; ++i0)
        for (int i1 = 0; i1 < n; ++i1)
            for (int i2 = 0; i2 < n; ++i2)
                for (int i3 = 0; i3 < n3; ++i3)
                    for (int m = 0; m < channels; ++m) b.push_back(value({i0, i1, i2, i3}, m));
    for (int i = 0; i < n; ++i)
        b.push_back(greyList.empty() ? static_cast<uint8_t>(255 - l[i]) : greyList[i]);
    if (type == 50 || type == 51) {
        for (int i = 0; i < n; ++i)
            for (int m = 0; m < channels; ++m)
                b.push_back(nodeValues.empty() ? static_cast<uint8_t>(i * 7 + m)
                                               : nodeValues[i * channels + m]);
    }
    if (type == 51)
        for (int v = 0; v < 256; ++v)
            b.push_back(greyShare.empty() ? static_cast<uint8_t>(255 - v) : greyShare[v]);
    putLe32(b, 16, extra.empty() ? 0 : static_cast<uint32_t>(b.size()));
    putLe32(b, 20, static_cast<uint32_t>(extra.size()));
    b.insert(b.end(), extra.begin(), extra.end());
    return b;
}

void rgbToCmykInks(int r, int g, int b, uint8_t out[4]) {
    int c = 255 - r, m = 255 - g, y = 255 - b;
    int k = std::min({c, m, y}) * 3 / 4;  // three quarters of the grey goes to black
    // A little cross-talk between the inks.
    out[0] = static_cast<uint8_t>((c - k) * 15 / 16 + m / 16);
    out[1] = static_cast<uint8_t>((m - k) * 15 / 16 + y / 16);
    out[2] = static_cast<uint8_t>((y - k) * 15 / 16 + c / 16);
    out[3] = static_cast<uint8_t>(k);
}

ColourTableBuilder ColourTableBuilder::rgbToCmyk(int points, uint8_t type) {
    ColourTableBuilder t;
    t.type = type;
    t.points = points;
    std::vector<uint8_t> l = t.axisList();
    t.value = [l](const NodeIndex& n, int m) {
        uint8_t inks[4];
        rgbToCmykInks(l[n.i0], l[n.i1], l[n.i2], inks);
        return inks[m];
    };
    return t;
}

ColourTableBuilder ColourTableBuilder::cmykToSixInks(int points) {
    ColourTableBuilder t;
    t.type = 128;
    t.points = points;
    t.channels = 6;
    std::vector<uint8_t> l = t.axisList();
    // Cyan and magenta split into a dark and a light ink; yellow and black pass.
    t.value = [l](const NodeIndex& n, int m) {
        int c = l[n.i0], mg = l[n.i1], y = l[n.i2], k = l[n.i3];
        switch (m) {
            case 0: return static_cast<uint8_t>(c > 128 ? (c - 128) * 2 : 0);
            case 1: return static_cast<uint8_t>(c > 128 ? 255 - (c - 128) : c * 2 - c / 128);
            case 2: return static_cast<uint8_t>(mg > 128 ? (mg - 128) * 2 : 0);
            case 3: return static_cast<uint8_t>(mg > 128 ? 255 - (mg - 128) : mg * 2 - mg / 128);
            case 4: return static_cast<uint8_t>(y);
            default: return static_cast<uint8_t>(k);
        }
    };
    return t;
}

ColourMatching::ColourMatching(const CmParams& params, const CmSelect& select,
                               const std::string& index, const std::vector<uint8_t>& table) {
    int32_t next = -2;
    created = CmNew(&params, &select, 0, &next, &cm);
    if (created != INKDOT_OK) return;
    indexResult = CmSetResource(cm, index.c_str(), &next);
    indexAnswer = next;
    if (indexResult != INKDOT_OK) return;
    tableResult = CmSetResource(cm, table.data(), &next);
    tableAnswer = next;
}

ColourMatching::~ColourMatching() {
    if (cm != nullptr) CmDelete(cm);
}

std::vector<uint8_t> evenList(int points) {
    std::vector<uint8_t> list;
    for (int i = 0; i < points; ++i) list.push_back(static_cast<uint8_t>(255 * i / (points - 1)));
    return list;
}

}  // namespace inkdot::test
