// The colour-table resource. Fields are big-endian 16-bit values, offsets and
// lengths little-endian 32-bit; a header of fixed offsets, the point lists of
// the axes, the grid of N0 x N1 x N2 x N3 nodes of c bytes, then the grey
// value of every diagonal node, the node values of types 50 and 51 and the
// grey-share table of type 51.
#include "cm/colour_table.h"

#include <cstring>

#include "cm/cm_context.h"
#include "cm/gain.h"
#include "cm/interpolation.h"
#include "frame/mem_block.h"

namespace inkdot {
namespace {

enum Offset : size_t {
    kTableType = 15,
    kExtraOffset = 16,
    kExtraLength = 20,
    kTableKind = 24,
    kTweakU = 32,
    kTweakS = 36,
    kTweakV = 42,
    kPercentAt0 = 48,
    kPercentAt255 = 50,
    kWords52 = 52,
    kWords64 = 64,
    kSizes = 72,
    kLists = 76,  // one byte later in a four-dimensional table
};

constexpr int32_t kMaxAxisPoints = 36;
constexpr int16_t kNodeValueType = 50;
constexpr int16_t kGreyShareType = 51;
constexpr int32_t kNoGreyKeeping = 50;  // greyMode that switches grey keeping off

int32_t be16(const uint8_t* p) {
    return static_cast<int16_t>((p[0] << 8) | p[1]);
}
uint32_t le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Where everything of one table lies, worked out and checked before use.
struct Layout {
    int16_t type;
    int32_t kind;
    int32_t n;   // points on every axis
    int32_t n3;  // 1, or n for a four-dimensional table
    int32_t c;
    size_t lists;  // the first list
    size_t list2;  // the list that axis 2 (and 3) use
    size_t grid;
    uint32_t gridBytes;
    size_t greyList;
    size_t nodeValues;
    size_t greyShare;
    size_t end;  // one past the last byte the decoder reads
};

bool keepsGrey(const CmContext& cm) {
    return (cm.select.pixelLayout != 0 && cm.params.greyMode != kNoGreyKeeping) ||
           cm.params.matchMode == 1;
}

int32_t storedKind(uint8_t byte) {
    return byte == 2 ? 1 : byte;
}

bool greyNodesRewritten(const CmContext& cm, int32_t kind) {
    return !keepsGrey(cm) && (kind == 1 || kind == 3);
}

// Sizes that fit the CmLut and the grid walks: equal axes of 2 to 36 points
// (a four-dimensional table's axis 3 too), 1 to 20 channels, lists from 0 to
// 255 strictly increasing, and every byte inside the given length.
bool readLayout(const uint8_t* b, size_t length, Layout& t) {
    if (length <= kLists) return false;
    t.type = b[kTableType];
    t.kind = storedKind(b[kTableKind]);
    const bool fourD = t.type == kFourDimensionalType;
    if (fourD && length <= kLists + 1) return false;
    int32_t n0 = b[kSizes], n1 = b[kSizes + 1], n2 = b[kSizes + 2];
    t.n3 = fourD ? b[kSizes + 3] : 1;
    t.c = fourD ? b[kSizes + 4] : b[kSizes + 3];
    if (n0 != n1 || n1 != n2 || (fourD && t.n3 != n2)) return false;
    if (n0 < 2 || n0 > kMaxAxisPoints || t.c < 1 || t.c > kMaxGridChannels) return false;
    t.n = n0;

    t.lists = kLists + (fourD ? 1 : 0);
    t.list2 = t.lists + 2 * static_cast<size_t>(t.n) + (fourD ? t.n : 0);
    t.grid = t.list2 + t.n;
    t.gridBytes = static_cast<uint32_t>(t.n) * t.n * t.n * t.n3 * t.c;
    t.greyList = t.grid + t.gridBytes;
    t.nodeValues = t.greyList + t.n;
    size_t nodeValueBytes = static_cast<size_t>(t.n) * t.c;
    bool hasNodeValues = t.type == kNodeValueType || t.type == kGreyShareType;
    t.greyShare = t.nodeValues + (hasNodeValues ? nodeValueBytes : 0);
    t.end = t.greyShare + (t.type == kGreyShareType ? 256 : 0);
    if (t.end > length) return false;

    return risesFrom0To255(b + t.lists, t.n) && risesFrom0To255(b + t.lists + t.n, t.n) &&
           risesFrom0To255(b + t.list2, t.n);
}

// The extra block must lie inside the given length.
bool extraBlockFits(const uint8_t* b, size_t length) {
    uint64_t offset = le32(b + kExtraOffset), bytes = le32(b + kExtraLength);
    return bytes == 0 || offset + bytes <= length;
}

// A gain correction with a zero divisor would divide by zero wherever one
// runs: in the grey-node step and in the class correction.
bool gainCorrectionsDefined(const CmContext& cm, const uint8_t* b, const Layout& t) {
    bool fourD = t.type == kFourDimensionalType;
    bool runs = classCorrectionRuns(cm) || (greyNodesRewritten(cm, t.kind) &&
                                            (fourD || (t.kind == 3 && cm.select.greyCurve != 0)));
    return !runs || gainCorrectionDefined(be16(b + kPercentAt0), be16(b + kPercentAt255));
}

int32_t allocateOwned(uint32_t bytes, platform::Handle& handle, uint8_t*& address) {
    void* locked = nullptr;
    int32_t result = allocateLocked(bytes, true, handle, locked);
    if (result == INKDOT_OK) address = static_cast<uint8_t*>(locked);
    return result;
}

void readFields(CmContext& cm, const uint8_t* b, const Layout& t) {
    CmLut& lut = *cm.lut;
    lut.tableKind = t.kind;
    for (int i = 0; i < 3; ++i) {
        cm.tableAdjust[i] = b[kTweakU + i];                           // U0..U2
        cm.tableAdjust[3 + i] = static_cast<int8_t>(b[kTweakV + i]);  // V0..V2
    }
    for (int i = 0; i < 4; ++i) cm.tableAdjust[6 + i] = static_cast<int8_t>(b[kTweakS + i]);
    lut.percentAt0 = be16(b + kPercentAt0);
    lut.percentAt255 = be16(b + kPercentAt255);
    for (int i = 0; i < 3; ++i) lut.tableWords52[i] = be16(b + kWords52 + 2 * i);
    for (int i = 0; i < 4; ++i) lut.tableWords64[i] = be16(b + kWords64 + 2 * i);

    lut.points[0] = lut.points[1] = lut.points[2] = t.n;
    lut.points[3] = t.n3;
    lut.channels = t.c;
    std::memcpy(lut.list0, b + t.lists, t.n);
    std::memcpy(lut.list1, b + t.lists + t.n, t.n);
    std::memcpy(lut.list2, b + t.list2, t.n);
    lut.keepGrey = keepsGrey(cm) ? 1 : 0;
}

// The diagonal nodes (i, i, i) take the table's grey list in their last
// channel; the others become 0, or the grey too when keyA is 2.
void rewriteGreyNodes3(CmContext& cm, const uint8_t* greyList) {
    CmLut& lut = *cm.lut;
    const int32_t n = lut.points[0], c = lut.channels;
    const bool curve = lut.tableKind == 3 && cm.select.greyCurve != 0;
    for (int32_t i = 0; i < n; ++i) {
        uint8_t* node = lut.grid + ((static_cast<size_t>(i) * n + i) * n + i) * c;
        uint8_t grey = greyList[i];
        for (int32_t m = 0; m < c - 1; ++m) node[m] = cm.select.keyA == 2 ? grey : 0;
        node[c - 1] = curve ? gainCorrectionByte(grey, lut.percentAt0, lut.percentAt255) : grey;
    }
}

// Nodes (0, 0, 0, m): no colour, and the black axis through the inverse of
// the gain correction.
void rewriteGreyNodes4(CmLut& lut) {
    uint8_t inverse[256];
    inverseGainTable(lut.percentAt0, lut.percentAt255, inverse);
    const int32_t c = lut.channels;
    for (int32_t m = 0; m < lut.points[3]; ++m) {
        uint8_t* node = lut.grid + static_cast<size_t>(m) * c;
        for (int32_t k = 0; k < c - 1; ++k) node[k] = 0;
        node[c - 1] = inverse[node[c - 1]];
    }
}

}  // namespace

bool classCorrectionRuns(const CmContext& cm) {
    return cm.chosenClass >= 300 && cm.chosenClass <= 399 && cm.select.level < 2 &&
           cm.select.keyA == 3;
}

int32_t decodeColourTable(CmContext& cm, const uint8_t* b, size_t length) {
    Layout t{};
    if (!readLayout(b, length, t) || !extraBlockFits(b, length) ||
        !gainCorrectionsDefined(cm, b, t))
        return INKDOT_SEQUENCE_ENDED;
    CmLut& lut = *cm.lut;

    lut.resource = cm.chosenResource;
    lut.tableClass = cm.chosenClass;
    cm.tableType = t.type;

    if (uint32_t bytes = le32(b + kExtraLength); bytes != 0) {
        int32_t result = allocateOwned(bytes, lut.extraHandle, lut.extraBlock);
        if (result != INKDOT_OK) return result;
        std::memcpy(lut.extraBlock, b + le32(b + kExtraOffset), bytes);
    } else {
        lut.extraHandle = nullptr;
    }

    readFields(cm, b, t);

    int32_t result = allocateOwned(t.gridBytes, lut.gridHandle, lut.grid);
    if (result != INKDOT_OK) return result;
    uint32_t nodeCurveBytes = static_cast<uint32_t>(t.n) * t.c;
    result = allocateOwned(nodeCurveBytes, cm.nodeCurvesHandle, cm.nodeCurves);
    if (result != INKDOT_OK) return result;
    std::memcpy(lut.grid, b + t.grid, t.gridBytes);

    if (greyNodesRewritten(cm, t.kind)) {
        if (t.type == kFourDimensionalType)
            rewriteGreyNodes4(lut);
        else
            rewriteGreyNodes3(cm, b + t.greyList);
    }
    const bool remaps = cm.params.colorMode == 2;
    const bool hasNodeValues = t.type == kNodeValueType || t.type == kGreyShareType;
    if (remaps && lut.keepGrey == 1 && hasNodeValues && cm.params.matchMode == 0)
        std::memcpy(cm.nodeCurves, b + t.nodeValues, nodeCurveBytes);
    if (remaps && t.type == kGreyShareType) std::memcpy(cm.greyShare, b + t.greyShare, 256);
    return INKDOT_OK;
}

void applyClassCorrection(CmContext& cm) {
    CmLut& lut = *cm.lut;
    uint8_t corrected[256];
    for (int32_t v = 0; v < 256; ++v)
        corrected[v] = gainCorrectionByte(v, lut.percentAt0, lut.percentAt255);
    size_t bytes =
        static_cast<size_t>(lut.points[0]) * lut.points[1] * lut.points[2] * lut.channels;
    for (size_t i = 0; i < bytes; ++i) lut.grid[i] = corrected[lut.grid[i]];
}

void inverseGainTable(int32_t percentAt0, int32_t percentAt255, uint8_t inverse[256]) {
    // f(l) = l x 255 / T[l], T[l] being the gain divisor: the gain-corrected
    // value of l before rounding. The inverse walks f upwards and interpolates
    // linearly between the two l whose f enclose k.
    auto f = [&](int32_t l) {
        if (l == 0) return 0.0;
        return l * 255.0 / static_cast<double>(gainDivisor(l, percentAt0, percentAt255));
    };
    inverse[0] = 0;
    int32_t l = 0;
    double g = f(0), h = 0.0;
    for (int32_t k = 1; k < 256; ++k) {
        while (k > g && l < 255) {
            h = g;
            g = f(++l);
        }
        if (l == 255) {
            inverse[k] = 255;
            continue;
        }
        // Here h < k <= g, so the quotient lies between l - 1 and l; only a
        // zero divisor (f infinite) could make it anything else.
        double r = ((g - k) * (l - 1) + (k - h) * l) / (g - h);
        inverse[k] = r >= 0 && r <= 255 ? static_cast<uint8_t>(r) : r > 255 ? 255 : 0;
    }
}

}  // namespace inkdot
