// The resource-pack generator: every resource in the byte format the engines
// read, plausible content, and the same bytes every time.
#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <set>

#include "respack/respack.h"

namespace {

using respack::Bytes;

uint32_t le32(const Bytes& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
int le16s(const Bytes& b, size_t at) {
    return static_cast<int16_t>(b[at] | (b[at + 1] << 8));
}
int be16s(const Bytes& b, size_t at) {
    return static_cast<int16_t>((b[at] << 8) | b[at + 1]);
}

// ---------------------------------------------------------------------------
// Text index

respack::IndexOptions sampleIndex() {
    respack::IndexOptions options;
    options.keyA = {"Auto", "Graphics", "Neutral", "Standard"};
    options.keyB = {"Transparency", "Matte", "Matte",
                    "Glossy"};  // repeated name: the later position counts
    options.keyBBase = 100;
    options.keyC = {"None", "Linear", "Custom", "Vivid", "Matched"};
    options.lines = {
        {1001, 310, "Standard", "Matte", 2, 1, "Matched", 4, 1, "# a comment\twith a tab"},
        {1002, 0, "Graphics", "Glossy", -12, 2, "Vivid", 6, 2, ""},
        {1003, 120, "Unknown", "Missing", 3, 1, "Nowhere", 4, 1, ""},
        {1004, 120, "Standard", "Matte", 2, 1, "Matched", 4, 2, ""}};
    return options;
}

TEST(RespackIndex, RoundTripsLinesListsAndKeys) {
    const respack::IndexOptions options = sampleIndex();
    const std::string text = respack::indexText(options);
    EXPECT_EQ(text.find("//300"), text.find("//"));
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");

    const respack::ParsedIndex parsed = respack::parseIndex(text);
    EXPECT_EQ(parsed.version, 300);
    EXPECT_EQ(parsed.keyA, options.keyA);
    EXPECT_EQ(parsed.keyB, options.keyB);
    EXPECT_EQ(parsed.keyBBase, 100);
    EXPECT_EQ(parsed.keyC, options.keyC);
    ASSERT_EQ(parsed.lines.size(), options.lines.size());
    for (size_t i = 0; i < options.lines.size(); ++i) {
        const auto &a = options.lines[i], &b = parsed.lines[i];
        EXPECT_EQ(std::tie(a.resource, a.tableClass, a.keyA, a.keyB, a.numberA, a.numberB, a.keyC,
                           a.numberC, a.numberD, a.comment),
                  std::tie(b.resource, b.tableClass, b.keyA, b.keyB, b.numberA, b.numberB, b.keyC,
                           b.numberC, b.numberD, b.comment))
            << "line " << i;
    }
    // Keys: positions from 0, keyB from its base, the later of two equal
    // names, 0 for a name in no list.
    EXPECT_EQ(parsed.keys[0].keyA, 3);
    EXPECT_EQ(parsed.keys[0].keyB, 102);
    EXPECT_EQ(parsed.keys[0].keyC, 4);
    EXPECT_EQ(parsed.keys[1].keyB, 103);
    EXPECT_EQ(parsed.keys[2].keyA, 0);
    EXPECT_EQ(parsed.keys[2].keyB, 0);
    EXPECT_EQ(parsed.keys[2].keyC, 0);
}

TEST(RespackIndex, KeyBListWithoutBaseStartsWithP) {
    respack::IndexOptions options = sampleIndex();
    options.keyB = {"PlainPaper", "PhotoGlossy"};
    options.keyBBase = 0;
    options.lines = {{7, 1, "Standard", "PhotoGlossy", 1, 1, "None", 4, 1, ""}};
    const std::string text = respack::indexText(options);
    EXPECT_NE(text.find("\r\nPlainPaper\tPhotoGlossy\r\n"), std::string::npos);
    EXPECT_EQ(respack::parseIndex(text).keys[0].keyB, 1);
    // A first name without the P gets its base written, 0 included.
    options.keyB = {"Glossy", "PhotoGlossy"};
    const std::string based = respack::indexText(options);
    EXPECT_NE(based.find("\r\n0\tGlossy\tPhotoGlossy\r\n"), std::string::npos);
    EXPECT_EQ(respack::parseIndex(based).keys[0].keyB, 1);
}

TEST(RespackIndex, ChoosesTheLastMatchingLineAndNumberDFromVersion300) {
    const respack::ParsedIndex parsed = respack::parseIndex(respack::indexText(sampleIndex()));
    respack::Selection s{
        .keyA = 3, .keyB = 102, .keyC = 4, .numberA = 2, .numberB = 1, .numberC = 4, .numberD = 1};
    EXPECT_EQ(respack::chooseTable(parsed, s), 1001);
    s.numberD = 2;
    EXPECT_EQ(respack::chooseTable(parsed, s), 1004);
    s.numberD = 3;
    EXPECT_EQ(respack::chooseTable(parsed, s), 0);

    respack::IndexOptions old = sampleIndex();
    old.version = 200;
    const respack::ParsedIndex v200 = respack::parseIndex(respack::indexText(old));
    EXPECT_EQ(v200.version, 200);
    EXPECT_EQ(respack::chooseTable(v200, s), 1004);  // column 9 not compared: the later line wins
}

TEST(RespackIndex, RejectsWhatTheFormatCannotHold) {
    auto bad = [](auto change) {
        respack::IndexOptions options = sampleIndex();
        change(options);
        return options;
    };
    EXPECT_THROW(respack::indexText(bad([](auto& s) {
                     s.keyA.push_back("TwelveChars");
                     s.keyA[0] = "TwelveChars1";
                 })),
                 std::invalid_argument);
    EXPECT_THROW(respack::indexText(bad([](auto& s) { s.keyC.assign(13, "X"); })),
                 std::invalid_argument);
    EXPECT_THROW(respack::indexText(bad([](auto& s) { s.lines[0].keyB = "two words"; })),
                 std::invalid_argument);
    EXPECT_THROW(respack::indexText(bad([](auto& s) { s.preamble = "see http://x"; })),
                 std::invalid_argument);
    EXPECT_THROW(respack::indexText(bad([](auto& s) { s.endLine = "end"; })),
                 std::invalid_argument);
}

// ---------------------------------------------------------------------------
// Colour tables

struct Layout3d {
    int points, type;
    size_t greyShare;
};

class RespackTable3d : public ::testing::TestWithParam<Layout3d> {};

TEST_P(RespackTable3d, LayoutAndInk) {
    const int n = GetParam().points, type = GetParam().type;
    const size_t greyShare = GetParam().greyShare;
    const Bytes extra = respack::extraBlockKind1({.code = 5});
    const Bytes t = respack::colourTable3d({.points = n,
                                            .type = type,
                                            .kind = 3,
                                            .percentAt0 = 250,
                                            .inkLimit = 260,
                                            .extraBlock = extra});
    constexpr int c = 4;
    EXPECT_EQ(t[15], type);
    EXPECT_EQ(t[24], 3);
    EXPECT_EQ(be16s(t, 48), 250);
    EXPECT_EQ(be16s(t, 50), 100);
    EXPECT_EQ(be16s(t, 52), 260);
    EXPECT_EQ(t[72], n);
    EXPECT_EQ(t[73], n);
    EXPECT_EQ(t[74], n);
    EXPECT_EQ(t[75], c);
    for (int axis = 0; axis < 3; ++axis) {
        const uint8_t* list = &t[76 + axis * n];
        EXPECT_EQ(list[0], 0);
        EXPECT_EQ(list[n - 1], 255);
        for (int i = 1; i < n; ++i) EXPECT_LT(list[i - 1], list[i]);
    }
    const size_t grid = 76 + 3 * n, nodes = size_t(n) * n * n;
    const size_t nodeValues = grid + nodes * c + n;
    const size_t end = nodeValues + (type ? size_t(n) * c : 0) + greyShare;
    EXPECT_EQ(le32(t, 16), end);
    EXPECT_EQ(le32(t, 20), extra.size());
    ASSERT_EQ(t.size(), end + extra.size());
    EXPECT_TRUE(std::equal(extra.begin(), extra.end(), t.begin() + end));

    auto node = [&](int i0, int i1, int i2, int ch) {
        return t[grid + ((size_t(i0) * n + i1) * n + i2) * c + ch];
    };
    // White takes no ink; black is mostly black ink with some colour under it.
    for (int ch = 0; ch < c; ++ch) EXPECT_EQ(node(n - 1, n - 1, n - 1, ch), 0);
    EXPECT_EQ(node(0, 0, 0, 3), 255);
    EXPECT_GT(node(0, 0, 0, 0), 0);
    // Red is magenta and yellow, blue is cyan and magenta.
    EXPECT_GT(node(n - 1, 0, 0, 1), 200);
    EXPECT_GT(node(n - 1, 0, 0, 2), 150);
    EXPECT_LT(node(n - 1, 0, 0, 0), 20);
    EXPECT_GT(node(0, 0, n - 1, 0), 200);
    EXPECT_LT(node(0, 0, n - 1, 2), 20);
    for (size_t k = 0; k < nodes; ++k) {
        int sum = 0;
        for (int ch = 0; ch < c; ++ch) sum += t[grid + k * c + ch];
        ASSERT_LE(sum, 260 * 255 / 100 + 3) << "node " << k;
    }
    // Down the grey axis black grows, and the grey list is black alone.
    for (int i = 1; i < n; ++i) {
        EXPECT_GE(node(i - 1, i - 1, i - 1, 3), node(i, i, i, 3));
        EXPECT_GE(t[grid + nodes * c + i - 1], t[grid + nodes * c + i]);
    }
    EXPECT_EQ(t[grid + nodes * c], 255);
    EXPECT_EQ(t[grid + nodes * c + n - 1], 0);
    if (type) {
        for (int i = 0; i < n; ++i)
            for (int ch = 0; ch < c; ++ch)
                EXPECT_EQ(t[nodeValues + size_t(i) * c + ch], node(i, i, i, ch));
    }
    if (greyShare) {
        EXPECT_EQ(t[end - 256], 0);
        EXPECT_EQ(t[end - 1], 255);
        EXPECT_LT(t[end - 128], 128);
    }
}

INSTANTIATE_TEST_SUITE_P(Types, RespackTable3d,
                         ::testing::Values(Layout3d{9, 0, 0}, Layout3d{17, 50, 0},
                                           Layout3d{33, 51, 256}),
                         [](const auto& info) {
                             return "Points" + std::to_string(info.param.points) + "Type" +
                                    std::to_string(info.param.type);
                         });

TEST(RespackTable4d, LayoutAndSixInkSplit) {
    constexpr int n = 9, c = 6;
    const Bytes t = respack::colourTable4d({.points = n, .percentAt0 = 500, .inkLimit = 280});
    EXPECT_EQ(t[15], 128);
    EXPECT_EQ(be16s(t, 48), 500);
    EXPECT_EQ(t[72], n);
    EXPECT_EQ(t[75], n);  // N3
    EXPECT_EQ(t[76], c);
    for (int list = 0; list < 4; ++list) {
        EXPECT_EQ(t[77 + list * n], 0);
        EXPECT_EQ(t[77 + list * n + n - 1], 255);
    }
    const size_t grid = 76 + 3 * n + n + 1, nodes = size_t(n) * n * n * n;
    EXPECT_EQ(le32(t, 20), 0u);
    ASSERT_EQ(t.size(), grid + nodes * c + n);
    auto node = [&](int i0, int i1, int i2, int i3, int ch) {
        return t[grid + (((size_t(i0) * n + i1) * n + i2) * n + i3) * c + ch];
    };
    // The kernels address error thresholds with dark + light + black of a
    // pair, so every node keeps each pair with the black within one solid.
    for (size_t k = 0; k < nodes; ++k) {
        const uint8_t* e = &t[grid + k * c];
        ASSERT_LE(e[0] + e[1] + e[5], 255) << "node " << k;
        ASSERT_LE(e[2] + e[3] + e[5], 255) << "node " << k;
        ASSERT_LE(e[0] + e[1] + e[2] + e[3] + e[4] + e[5], 280 * 255 / 100 + 6) << "node " << k;
    }
    // Pure black is black ink alone; cyan is light ink in the highlights,
    // dark ink alone at the solid, and the light ink rises then falls.
    for (int m = 0; m < n; ++m)
        for (int ch = 0; ch < 5; ++ch) EXPECT_EQ(node(0, 0, 0, m, ch), 0);
    EXPECT_EQ(node(0, 0, 0, n - 1, 5), 255);
    EXPECT_EQ(node(1, 0, 0, 0, 0), 0);
    EXPECT_GT(node(1, 0, 0, 0, 1), 0);
    EXPECT_EQ(node(n - 1, 0, 0, 0, 0), 255);
    EXPECT_EQ(node(n - 1, 0, 0, 0, 1), 0);
    int peak = 0;
    for (int i = 1; i < n; ++i) {
        EXPECT_GE(node(i, 0, 0, 0, 0), node(i - 1, 0, 0, 0, 0));
        if (node(i, 0, 0, 0, 1) > node(peak, 0, 0, 0, 1)) peak = i;
    }
    EXPECT_GT(peak, 0);
    EXPECT_LT(peak, n - 1);
    // Magenta splits the same way into channels 2 and 3; yellow is channel 4.
    EXPECT_EQ(node(0, 4, 0, 0, 2), node(4, 0, 0, 0, 0));
    EXPECT_EQ(node(0, 4, 0, 0, 3), node(4, 0, 0, 0, 1));
    EXPECT_EQ(node(0, 0, n - 1, 0, 4), 255);
}

TEST(RespackTable4d, RejectsASplitTheLightInkCannotCarry) {
    EXPECT_THROW(respack::colourTable4d({.lightDensity = 0.2, .darkStart = 0.3}),
                 std::invalid_argument);
    EXPECT_THROW(respack::colourTable3d({.points = 37}), std::invalid_argument);
    EXPECT_THROW(respack::colourTable3d({.type = 128}), std::invalid_argument);
}

TEST(RespackExtraBlock, SignaturesAndChain) {
    const Bytes one =
        respack::extraBlockKind1({.code = 13, .inkScale = 80, .moreItems = {{7, {1, 2, 3}}}});
    ASSERT_GE(one.size(), 6u);
    EXPECT_EQ(Bytes(one.begin(), one.begin() + 6), (Bytes{4, 0, 0, 0, 0xFE, 0xFF}));
    // Walk the chain: (length, tag, payload) items up to a length of 0.
    std::vector<std::pair<int, Bytes>> items;
    size_t at = 0;
    for (uint32_t len; (len = le32(one, at)) != 0; at += 4 + len)
        items.push_back(
            {le16s(one, at + 4) & 0xFFFF, Bytes(one.begin() + at + 6, one.begin() + at + 4 + len)});
    EXPECT_EQ(at + 4, one.size());
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0], (std::pair<int, Bytes>{0xFFFE, {13, 0}}));
    EXPECT_EQ(items[1], (std::pair<int, Bytes>{101, {80, 0}}));
    EXPECT_EQ(items[2], (std::pair<int, Bytes>{7, {1, 2, 3}}));

    const Bytes two = respack::extraBlockKind2({.records = 5300});
    EXPECT_EQ(Bytes(two.begin(), two.begin() + 12),
              (Bytes{4, 0, 0, 0, 2, 0, 0, 0, 0xFB, 0x69, 0xF7, 0xDC}));
    EXPECT_EQ(le16s(two, 16), 5300);
    EXPECT_EQ(le16s(two, 18), 5300);
    EXPECT_EQ(le16s(respack::extraBlockKind2({.records = 5300, .recordsSingleInk = 5301}), 18),
              5301);
}

// ---------------------------------------------------------------------------
// Halftone resources

TEST(RespackHalftone, ResourceListAndGridLevels) {
    EXPECT_EQ(respack::resourceList({5100, 300, -2}),
              (Bytes{0xEC, 0x13, 0x2C, 0x01, 0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_THROW(respack::resourceList({1, -1, 2}), std::invalid_argument);
    EXPECT_THROW(respack::resourceList(std::vector<int16_t>(15, 1)), std::invalid_argument);

    for (double exponent : {0.5, 1.0, 1.25, 2.0}) {
        const Bytes g = respack::gridLevels({.exponent = exponent});
        ASSERT_EQ(g.size(), 34u);
        EXPECT_EQ(le16s(g, 0), 32);
        EXPECT_EQ(g[2], 0);
        EXPECT_EQ(g[33], 255);
        for (int i = 3; i < 34; ++i) EXPECT_LT(g[i - 1], g[i]) << exponent;
    }
    // More levels in the highlights with an exponent above 1.
    EXPECT_LT(respack::gridLevelValues({.exponent = 1.25})[16],
              respack::gridLevelValues({.exponent = 1.0})[16]);
}

TEST(RespackHalftone, BayerMatrices) {
    EXPECT_EQ(respack::bayer(2).values, (std::vector<uint16_t>{0, 2, 3, 1}));
    EXPECT_EQ(respack::bayer(4).values,
              (std::vector<uint16_t>{0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5}));
    for (int n : {8, 16, 64}) {
        auto v = respack::bayer(n).values;
        std::sort(v.begin(), v.end());
        for (size_t i = 0; i < v.size(); ++i) ASSERT_EQ(v[i], i) << n;
    }
}

TEST(RespackHalftone, MatrixResourceCodes) {
    const Bytes m16 = respack::ditherMatrix(respack::bayer(16));
    ASSERT_EQ(m16.size(), 4u + 2 * 256);
    EXPECT_EQ(m16[0], 16);
    EXPECT_EQ(m16[1], 16);
    EXPECT_EQ(le16s(m16, 4 + 2 * 17), respack::bayer(16).values[17]);
    const Bytes m256 = respack::ditherMatrixBayer(256);
    EXPECT_EQ(m256[0], 255);
    EXPECT_EQ(m256[1], 255);
    const Bytes wide = respack::ditherMatrix({512, 2, std::vector<uint16_t>(1024)});
    EXPECT_EQ(wide[0], 239);
    EXPECT_EQ(wide[1], 2);
    EXPECT_THROW(respack::ditherMatrix({12, 12, std::vector<uint16_t>(144)}),
                 std::invalid_argument);
}

// The mean power of the pattern of the first `set` ranks at the frequencies
// below `radius` cycles, relative to that of white noise of the same density.
double lowFrequencyRatio(const respack::Matrix& m, int set, int radius) {
    const int n = m.width;
    const double pi = 3.14159265358979323846, p = double(set) / (double(n) * n);
    using C = std::complex<double>;
    std::vector<C> twiddle(n);
    for (int k = 0; k < n; ++k) twiddle[k] = std::polar(1.0, -2 * pi * k / n);
    // Rows first for the few horizontal frequencies needed, then columns.
    const int span = 2 * radius + 1;
    std::vector<C> rows(size_t(n) * span);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            if (m.values[size_t(y) * n + x] < set)
                for (int u = -radius; u <= radius; ++u)
                    rows[size_t(y) * span + (u + radius)] += twiddle[(u * x) & (n - 1)];
    double power = 0;
    int count = 0;
    for (int u = -radius; u <= radius; ++u)
        for (int v = -radius; v <= radius; ++v) {
            const int r2 = u * u + v * v;
            if (r2 == 0 || r2 >= radius * radius) continue;
            C s = 0;
            for (int y = 0; y < n; ++y)
                s += rows[size_t(y) * span + (u + radius)] * twiddle[(v * y) & (n - 1)];
            power += std::norm(s);
            ++count;
        }
    return power / count / (double(n) * n * p * (1 - p));
}

TEST(RespackBlueNoise, PermutationWithLittleLowFrequencyEnergy) {
    const respack::Matrix m = respack::blueNoise(256);
    ASSERT_EQ(m.width, 256);
    ASSERT_EQ(m.height, 256);
    std::vector<uint16_t> sorted = m.values;
    std::sort(sorted.begin(), sorted.end());
    for (size_t i = 0; i < sorted.size(); ++i) ASSERT_EQ(sorted[i], i);
    // White noise has as much power at low frequencies as anywhere; blue
    // noise keeps every level even, from the sparse highlights on.
    for (int set : {1024, 4096, 16384, 32768, 49152})
        EXPECT_LT(lowFrequencyRatio(m, set, 16), 0.1) << set;
    // No two of the first cells are neighbours.
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            if (m.values[size_t(y) * 256 + x] < 2048) {
                for (auto [dx, dy] : {std::pair{1, 0}, {0, 1}, {1, 1}, {255, 1}})
                    ASSERT_GE(m.values[size_t((y + dy) & 255) * 256 + ((x + dx) & 255)], 2048)
                        << x << "," << y;
            }
}

TEST(RespackBlueNoise, SmallMatricesAndDeterminism) {
    for (int n : {4, 16, 64}) {
        const respack::Matrix m = respack::blueNoise(n);
        std::vector<uint16_t> sorted = m.values;
        std::sort(sorted.begin(), sorted.end());
        for (size_t i = 0; i < sorted.size(); ++i) ASSERT_EQ(sorted[i], i) << n;
    }
    EXPECT_LT(lowFrequencyRatio(respack::blueNoise(64), 1024, 4), 0.15);
    EXPECT_EQ(respack::ditherMatrixBlueNoise(64), respack::ditherMatrixBlueNoise(64));
    EXPECT_THROW(respack::blueNoise(48), std::invalid_argument);
}

// Small dots reach their share of the area (128) where the second stage
// begins, start to give way in the third and are gone in the fourth.
void expectStageStarts(const std::vector<respack::LevelRecord>& r, int second, int third,
                       int fourth) {
    EXPECT_LT(r[second - 1].small, 128);
    EXPECT_EQ(r[second].small, 128);
    EXPECT_EQ(r[third - 1].small, 128);
    EXPECT_LT(r[third].small, 128);
    EXPECT_GT(r[fourth - 1].small, 0);
    EXPECT_EQ(r[fourth].small, 0);
}

// The level-record model at the points where its stages meet.
TEST(RespackLevelRecords, ModelStagesForOneInkAndSixInks) {
    const auto one = respack::levelRecordModel({.count = 256, .lowSlope = 65.0 / 203.0});
    ASSERT_EQ(one.size(), 256u);
    auto rec = [](const respack::LevelRecord& r) {
        return std::array<int, 3>{r.small, r.medium, r.large};
    };
    EXPECT_EQ(rec(one[50]), (std::array<int, 3>{71, 0, 0}));
    EXPECT_EQ(rec(one[100]), (std::array<int, 3>{128, 35, 0}));
    EXPECT_EQ(rec(one[200]), (std::array<int, 3>{0, 173, 82}));
    EXPECT_EQ(rec(one[255]), (std::array<int, 3>{0, 0, 255}));
    expectStageStarts(one, 78, 149, 170);
    EXPECT_GT(one[170].large, 0);

    const auto six = respack::levelRecordModel({});
    ASSERT_EQ(six.size(), 512u);
    expectStageStarts(six, 82, 213, 262);
    EXPECT_EQ(rec(six[511]), (std::array<int, 3>{0, 0, 255}));
    // Small dots give way as large dots come in.
    EXPECT_GT(six[200].small, six[400].small);
    EXPECT_LT(six[200].large, six[400].large);
}

TEST(RespackLevelRecords, ResourceHeaderAndRecordSums) {
    const Bytes r = respack::levelRecords();
    ASSERT_GE(r.size(), 1578u);
    EXPECT_EQ(le32(r, 0), r.size());
    EXPECT_EQ(Bytes(r.begin() + 4, r.begin() + 8), (Bytes{0xFB, 0x69, 0xF7, 0xDC}));
    EXPECT_EQ(le32(r, 8), 0u);
    EXPECT_EQ(le16s(r, 16), 3);
    EXPECT_EQ(le16s(r, 18), 512);
    const auto model = respack::levelRecordModel({});
    for (int i = 0; i < 512; ++i) {
        const uint8_t* p = &r[32 + 3 * i];
        ASSERT_LE(p[0] + p[1] + p[2], 255) << i;
        if (model[i].small + model[i].medium + model[i].large <= 255) {
            EXPECT_EQ(p[0], model[i].small) << i;
            EXPECT_EQ(p[1], model[i].medium) << i;
            EXPECT_EQ(p[2], model[i].large) << i;
        }
    }
}

// ---------------------------------------------------------------------------
// Curves

TEST(RespackCurves, SetsSelectorsMapsAndTables) {
    const respack::Curve same = respack::identityCurve(), up = respack::midtoneCurve(0.1);
    EXPECT_EQ(up[0], 0);
    EXPECT_EQ(up[255], 255);
    EXPECT_GT(up[128], 128);
    EXPECT_TRUE(std::is_sorted(up.begin(), up.end()));
    EXPECT_EQ(respack::midtoneCurve(0.0), same);

    const Bytes four = respack::curveSet({up, same, same, same});
    ASSERT_EQ(four.size(), 2u + 4 * 256);
    EXPECT_EQ(four[0], 2);
    EXPECT_EQ(four[1], 1);
    EXPECT_EQ(four[2 + 128], up[128]);
    EXPECT_EQ(respack::curveSet(std::vector<respack::Curve>(6, same))[0], 3);
    EXPECT_THROW(respack::curveSet({same}), std::invalid_argument);

    EXPECT_EQ(respack::curveSelector(6, {50, 30, 70}),
              (Bytes{'C', 'W', ':', 6, 50, 30, 70, 0xFE, 0xFF}));
    EXPECT_THROW(respack::curveSelector(6, {29}), std::invalid_argument);
    EXPECT_EQ(respack::curveMaps({{4, {0, 1}}, {6, {1, 0}}}),
              (Bytes{4, 0, 1, 0xFE, 6, 1, 0, 0xFE, 0xFF}));
    EXPECT_EQ(respack::curveMeasurements(2, {50, 51}), (Bytes{2, 50, 51}));
    EXPECT_THROW(respack::curveMeasurements(40, {50}), std::invalid_argument);

    for (auto [mode, count, identity] : {std::tuple{1, 21, 10}, {2, 37, 18}}) {
        const Bytes t = respack::curveTable(mode);
        ASSERT_EQ(t.size(), size_t(count) * 256);
        EXPECT_TRUE(std::equal(same.begin(), same.end(), t.begin() + identity * 256)) << mode;
        // Higher curves put down more ink in the mid-tones.
        for (int h = 1; h < count; ++h) EXPECT_GE(t[h * 256 + 128], t[(h - 1) * 256 + 128]);
        EXPECT_LT(t[128], 128);
        EXPECT_GT(t[(count - 1) * 256 + 128], 128);
    }
}

// Positions of "//" in the item, counted from its start.
std::vector<size_t> markers(const Bytes& b, size_t limit) {
    std::vector<size_t> at;
    for (size_t i = 0; i + 1 < limit; ++i)
        if (b[i] == '/' && b[i + 1] == '/') at.push_back(i), ++i;
    return at;
}

TEST(RespackCurves, CurveSetTablePlainAndInContainer) {
    const respack::Curve same = respack::identityCurve(), up = respack::midtoneCurve(0.05);
    respack::CurveSetTableOptions options;
    options.lines = {{0, "PlainPaper", 2, 1, 4, 1}, {1, "PhotoGlossy", 3, 2, 4, 2}};
    options.names = {"PlainPaper", "PhotoGlossy"};
    options.blocks = {{same, same, same, up}, {up, up, up, same}};
    const Bytes t = respack::curveSetTable(options);
    const size_t binary = t.size() - 2 * 4 * 256;
    const auto at = markers(t, binary);
    ASSERT_EQ(at.size(), 3u);
    const std::string text(t.begin(), t.begin() + binary);
    EXPECT_EQ(text.substr(at[0], 5), "//200");
    EXPECT_NE(text.find("1\tPhotoGlossy\t3\t2\t4\t2\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nPlainPaper\tPhotoGlossy\r\n//"), std::string::npos);
    // After the third marker, the rest of its line and its CR LF, the blocks.
    EXPECT_EQ(text.substr(at[2]), "//curves\r\n");
    EXPECT_EQ(t[binary + 3 * 256 + 128], up[128]);
    EXPECT_EQ(t[binary + 4 * 256 + 128], up[128]);

    options.version = 300;
    const std::string v300(reinterpret_cast<const char*>(respack::curveSetTable(options).data()),
                           200);
    EXPECT_NE(v300.find("1\tPhotoGlossy\t3\t2\t4\r\n"), std::string::npos);  // no numberD column

    const Bytes box = respack::curveSetContainer(t, 2);
    EXPECT_EQ(std::string(box.begin(), box.begin() + 4), "TUNA");
    EXPECT_EQ(box[96], 2);
    EXPECT_EQ(box[256], 1);
    EXPECT_EQ(le16s(box, 264), 2);
    const uint32_t offset = le32(box, 100);
    EXPECT_TRUE(std::equal(t.begin(), t.end(), box.begin() + offset));
    EXPECT_EQ(markers(box, offset + binary).size(), 3u);  // counted from the item's start

    options.blocks = {{respack::midtoneCurve(0.0), same, same, same}};
    options.blocks[0][0][0] = '\n';
    options.lines = {{0, "PlainPaper", 2, 1, 4, 1}};
    EXPECT_THROW(respack::curveSetTable(options), std::invalid_argument);
}

// ---------------------------------------------------------------------------
// The default pack

class RespackDefaultPack : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = std::filesystem::temp_directory_path() /
              ("respack_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + std::to_string(reinterpret_cast<uintptr_t>(&dir)));
        std::filesystem::remove_all(dir);
        respack::writeDefaultPack(dir);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dir); }

    static std::string manifest() {
        std::ifstream in(dir / "manifest.json");
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    static std::string text(int number) {
        const Bytes b = respack::readResource(dir, number);
        return std::string(b.begin(), b.end());
    }
    static inline std::filesystem::path dir;
};

TEST_F(RespackDefaultPack, EveryIndexLineNamesATableOfItsRole) {
    const respack::ParsedIndex index = respack::parseIndex(text(0));
    EXPECT_EQ(index.version, 300);
    EXPECT_GT(index.lines.size(), 100u);
    std::set<int32_t> tables;
    for (const auto& l : index.lines) {
        const Bytes t = respack::readResource(dir, l.resource);
        if (l.numberC == 6) {
            EXPECT_EQ(t[15], 128) << l.resource;
            EXPECT_EQ(t[76], 6) << l.resource;
            // One-bit single-ink use needs one of the three dot-gain rows.
            const int p0 = be16s(t, 48);
            EXPECT_TRUE(p0 == 250 || p0 == 350 || p0 == 500) << l.resource;
            // Two-bit output needs an extra block.
            if (l.numberB == 2) {
                EXPECT_NE(le32(t, 20), 0u) << l.resource;
            }
        } else {
            EXPECT_EQ(l.numberC, 4);
            EXPECT_NE(t[15], 128) << l.resource;
            EXPECT_EQ(t[75], 4) << l.resource;
        }
        tables.insert(l.resource);
        // Its second index and curve table are in the pack too.
        const int32_t base = l.resource / 1000 * 1000;
        const respack::ParsedIndex second = respack::parseIndex(text(base + 900));
        const respack::Selection s{.keyA = index.keys[&l - &index.lines[0]].keyA,
                                   .keyB = index.keys[&l - &index.lines[0]].keyB,
                                   .keyC = 0,
                                   .numberA = l.numberA,
                                   .numberB = l.numberB,
                                   .numberC = l.numberC,
                                   .numberD = l.numberD};
        const int32_t curves = respack::chooseTable(second, s);
        ASSERT_NE(curves, 0) << l.resource;
        EXPECT_EQ(respack::readResource(dir, curves).size(), 21u * 256);
    }
    EXPECT_GE(tables.size(), 15u);
    // The manifest tells which settings choose each table.
    const std::string m = manifest();
    EXPECT_NE(m.find("\"number\": 3013, \"file\": \"3013.bin\", \"kind\": \"colour-table-4d\""),
              std::string::npos);
    EXPECT_NE(m.find("\"selectedBy\": [{\"keyA\": 3, \"keyB\": 2, \"keyC\": 4, \"numberA\": 4, "
                     "\"numberB\": 2"),
              std::string::npos);
}

TEST_F(RespackDefaultPack, HalftoneListsNameResourcesOfTheirKind) {
    for (int list : {5001, 5002, 5003, 5007, 5008}) {
        const Bytes b = respack::readResource(dir, list);
        std::vector<int> numbers;
        for (size_t at = 0; le16s(b, at) != -1; at += 2) numbers.push_back(le16s(b, at));
        ASSERT_GE(numbers.size(), 4u);
        const Bytes levels = respack::readResource(dir, numbers[0]);
        EXPECT_EQ(le16s(levels, 0), 32);
        for (size_t i = 1; i < numbers.size(); ++i) {
            const Bytes m = respack::readResource(dir, numbers[i]);
            const int w = m[0] == 255 ? 256 : m[0], h = m[1] == 255 ? 256 : m[1];
            EXPECT_EQ(m.size(), 4u + 2u * w * h) << numbers[i];
            // The separation path compares matrix values with 8-bit weights.
            if (list == 5007 || list == 5008) {
                EXPECT_EQ(w * h, 256);
            }
        }
    }
    // The kind-2 extra block names level-record resources of the pack.
    const Bytes table = respack::readResource(dir, 3013);
    const Bytes extra(table.begin() + le32(table, 16),
                      table.begin() + le32(table, 16) + le32(table, 20));
    for (size_t at : {16u, 18u}) {
        const Bytes r = respack::readResource(dir, le16s(extra, at));
        EXPECT_EQ(le16s(r, 18), 512);
    }
}

TEST_F(RespackDefaultPack, SameBytesWhenWrittenAgainAndACorruptCacheIsMadeAgain) {
    const std::string before = manifest();
    const Bytes matrix = respack::readResource(dir, 5200);
    {
        std::fstream f(dir / respack::resourceFileName(5200),
                       std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(100);
        f.put('\x7f');
    }
    respack::writeDefaultPack(dir);
    EXPECT_EQ(manifest(), before);
    EXPECT_EQ(respack::readResource(dir, 5200), matrix);
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name == "manifest.json") continue;
        const Bytes b = respack::readResource(dir, std::stoi(name));
        char sum[40];
        std::snprintf(sum, sizeof sum, "\"fnv1a64\": \"%016llx\"",
                      static_cast<unsigned long long>(respack::fnv1a64(b)));
        EXPECT_NE(before.find(sum), std::string::npos) << name;
    }
}

// The generator gives the same bytes on every machine and build.
TEST(RespackDeterminism, KnownChecksums) {
    struct Case {
        const char* name;
        Bytes bytes;
        uint64_t sum;
    };
    const Case cases[] = {
        {"table3d", respack::colourTable3d({.points = 17, .type = 51}), 0x708dfdff33c41b8full},
        {"table3d33", respack::colourTable3d({.points = 33, .type = 50}), 0x4c8980f1159b1080ull},
        {"table4d", respack::colourTable4d({}), 0xf4d8480a804f8b8bull},
        {"blueNoise64", respack::ditherMatrixBlueNoise(64), 0x8eb5ffd24c065131ull},
        {"blueNoise256", respack::ditherMatrixBlueNoise(256), 0x9aca6a127c48d98full},
        {"records", respack::levelRecords(), 0x1b6d965fe3a5e984ull},
        {"levels", respack::gridLevels(), 0xecb328b5226f4262ull},
        {"curves", respack::curveTable(2), 0x62b353d6954d2d79ull},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(respack::fnv1a64(c.bytes), c.sum)
            << c.name << " " << std::hex << respack::fnv1a64(c.bytes);
    }
    EXPECT_EQ(respack::colourTable4d({}), respack::colourTable4d({}));
}

}  // namespace
