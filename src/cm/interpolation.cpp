// Integer tetrahedral interpolation: every cell of the grid is split into six
// tetrahedra along its main diagonal, and a point is the weighted sum of the
// four corners of the tetrahedron it lies in. All offsets are scaled to the
// width of the cell on axis 0, so one unsigned division per channel ends it.
#include "cm/interpolation.h"

#include <cstddef>

namespace inkdot {
namespace {

constexpr int32_t kMaxPoints[4] = {36, 36, 72, 72};

// The smallest index from 1 upwards whose list value is at least x. The lists
// end at 255, so the search always stops inside the list; the bound only
// keeps a malformed record from walking off it.
inline uint32_t cellIndex(const uint8_t* list, int32_t points, uint32_t x) {
    uint32_t i = 1;
    while (list[i] < x && static_cast<int32_t>(i) < points - 1) ++i;
    return i;
}

// One tetrahedron of one cell: where its four corners lie relative to N(000)
// and how much each one weighs. The weights add up to `width`.
struct Tetrahedron {
    uint32_t width;
    size_t corner[3];  // byte offsets of the second, third and last corner
    uint32_t weight[4];
};

// Orders the three axis offsets, largest first. The rows follow the order in
// which the comparisons a >= b, a >= c', b >= c' are made, so equal offsets
// fall to the first row that admits them.
struct AxisOrder {
    uint8_t first, second, third;
};

inline AxisOrder axisOrder(uint32_t a, uint32_t b, uint32_t c) {
    if (a >= b) {
        if (a >= c) return b >= c ? AxisOrder{0, 1, 2} : AxisOrder{0, 2, 1};
        return AxisOrder{2, 0, 1};
    }
    if (a >= c) return AxisOrder{1, 0, 2};
    return b >= c ? AxisOrder{1, 2, 0} : AxisOrder{2, 1, 0};
}

// The part of a point that the three- and four-dimensional forms share:
// cell indexes on axes 0..2 and the tetrahedron within the cell.
struct Cell {
    size_t base;  // byte offset of N(000) along axes 0..2
    Tetrahedron t;
};

// Cell indexes by search, or from prepared tables.
struct SearchCells {
    const CmLut& lut;
    uint32_t operator()(int axis, uint32_t x) const {
        const uint8_t* lists[3] = {lut.list0, lut.list1, lut.list2};
        return cellIndex(lists[axis], lut.points[axis], x);
    }
};
struct PreparedCells {
    const AxisCells& cells;
    uint32_t operator()(int axis, uint32_t x) const { return cells.index[axis][x]; }
};

template <typename Cells>
inline Cell locate(const CmLut& lut, const Cells& cellOf, const size_t stride[3], uint32_t x0,
                   uint32_t x1, uint32_t x2) {
    const uint8_t* g0 = lut.list0;
    const uint8_t* g1 = lut.list1;
    const uint8_t* g2 = lut.list2;
    uint32_t i0 = cellOf(0, x0);
    uint32_t i1 = cellOf(1, x1);
    uint32_t i2 = cellOf(2, x2);

    Cell cell;
    uint32_t w = g0[i0] - g0[i0 - 1];
    uint32_t off[3] = {
        x0 - g0[i0 - 1],
        (x1 - g1[i1 - 1]) * w / (g1[i1] - g1[i1 - 1]),
        (x2 - g2[i2 - 1]) * w / (g2[i2] - g2[i2 - 1]),
    };
    cell.base = (i0 - 1) * stride[0] + (i1 - 1) * stride[1] + (i2 - 1) * stride[2];

    AxisOrder o = axisOrder(off[0], off[1], off[2]);
    Tetrahedron& t = cell.t;
    t.width = w;
    t.corner[0] = stride[o.first];
    t.corner[1] = t.corner[0] + stride[o.second];
    t.corner[2] = t.corner[1] + stride[o.third];
    t.weight[0] = w - off[o.first];
    t.weight[1] = off[o.first] - off[o.second];
    t.weight[2] = off[o.second] - off[o.third];
    t.weight[3] = off[o.third];
    return cell;
}

// The weighted sum of the four corners for channel m, at most 255 x width.
inline uint32_t weightedSum(const uint8_t* n000, const Tetrahedron& t, int32_t m) {
    return t.weight[0] * n000[m] + t.weight[1] * n000[t.corner[0] + m] +
           t.weight[2] * n000[t.corner[1] + m] + t.weight[3] * n000[t.corner[2] + m];
}

inline bool listReady(const uint8_t* list, int32_t points, int32_t maxPoints) {
    return points <= maxPoints && risesFrom0To255(list, points);
}

template <typename Cells>
void interpolateRow(const CmLut& lut, const Cells& cellOf, const uint8_t* grid, int32_t count,
                    const uint8_t* workPixels, uint8_t* out) {
    const int32_t c = lut.channels;
    const size_t stride[3] = {static_cast<size_t>(lut.points[1]) * lut.points[2] * c,
                              static_cast<size_t>(lut.points[2]) * c, static_cast<size_t>(c)};
    for (int32_t p = 0; p < count; ++p, workPixels += 4, out += c) {
        Cell cell = locate(lut, cellOf, stride, workPixels[1], workPixels[2], workPixels[3]);
        const uint8_t* n000 = grid + cell.base;
        for (int32_t m = 0; m < c; ++m)
            out[m] = static_cast<uint8_t>(weightedSum(n000, cell.t, m) / cell.t.width);
    }
}

template <typename Cells>
void interpolatePoint4(const CmLut& lut, const Cells& cellOf, uint32_t i3, uint8_t x0, uint8_t x1,
                       uint8_t x2, uint8_t x3, uint8_t* out) {
    const int32_t c = lut.channels;
    const size_t s3 = static_cast<size_t>(c);
    const size_t stride[3] = {
        static_cast<size_t>(lut.points[1]) * lut.points[2] * lut.points[3] * s3,
        static_cast<size_t>(lut.points[2]) * lut.points[3] * s3,
        static_cast<size_t>(lut.points[3]) * s3};
    Cell cell = locate(lut, cellOf, stride, x0, x1, x2);

    const uint8_t* g3 = lut.list2;
    uint32_t d = g3[i3] - g3[i3 - 1];
    uint32_t t = x3 - g3[i3 - 1];
    const uint8_t* lower = lut.grid + cell.base + (i3 - 1) * s3;
    const uint8_t* upper = lower + s3;
    for (int32_t m = 0; m < c; ++m) {
        uint32_t s1 = weightedSum(upper, cell.t, m);
        uint32_t s0 = weightedSum(lower, cell.t, m);
        out[m] = static_cast<uint8_t>((s1 * t + s0 * (d - t)) / (d * cell.t.width));
    }
}

}  // namespace

void interpolate3(const CmLut& lut, const uint8_t* grid, int32_t count, const uint8_t* workPixels,
                  uint8_t* out) {
    interpolateRow(lut, SearchCells{lut}, grid, count, workPixels, out);
}

void interpolate3(const CmLut& lut, const AxisCells& cells, const uint8_t* grid, int32_t count,
                  const uint8_t* workPixels, uint8_t* out) {
    interpolateRow(lut, PreparedCells{cells}, grid, count, workPixels, out);
}

void interpolate4(const CmLut& lut, uint8_t x0, uint8_t x1, uint8_t x2, uint8_t x3, uint8_t* out) {
    uint32_t i3 = cellIndex(lut.list2, lut.points[3], x3);
    interpolatePoint4(lut, SearchCells{lut}, i3, x0, x1, x2, x3, out);
}

void interpolate4(const CmLut& lut, const AxisCells& cells, uint8_t x0, uint8_t x1, uint8_t x2,
                  uint8_t x3, uint8_t* out) {
    // Axis 3 shares axis 2's list, and its cells when it has as many points.
    uint32_t i3 = lut.points[3] == lut.points[2] ? cells.index[2][x3]
                                                 : cellIndex(lut.list2, lut.points[3], x3);
    interpolatePoint4(lut, PreparedCells{cells}, i3, x0, x1, x2, x3, out);
}

void prepareAxisCells(const CmLut& lut, AxisCells& cells) {
    const uint8_t* lists[3] = {lut.list0, lut.list1, lut.list2};
    for (int axis = 0; axis < 3; ++axis)
        for (uint32_t x = 0; x < 256; ++x)
            cells.index[axis][x] =
                static_cast<uint8_t>(cellIndex(lists[axis], lut.points[axis], x));
}

bool interpolationReady(const CmLut& lut, bool fourDimensional) {
    if (lut.grid == nullptr || lut.channels < 1 || lut.channels > kMaxGridChannels) return false;
    if (!listReady(lut.list0, lut.points[0], kMaxPoints[0]) ||
        !listReady(lut.list1, lut.points[1], kMaxPoints[1]) ||
        !listReady(lut.list2, lut.points[2], kMaxPoints[2]))
        return false;
    return fourDimensional ? listReady(lut.list2, lut.points[3], kMaxPoints[3])
                           : lut.points[3] <= 1;
}

}  // namespace inkdot
