#include "halftone/grid_resample.h"

#include <utility>

#include "cm/interpolation.h"

namespace inkdot {
namespace {

constexpr int kMaxListPoints = 72;
constexpr int kReciprocalShift = 40;

// Where a value lies on a list: the smallest index from 1 upwards whose level
// is at least the value (never past the last point), the value's distance
// from the level below and the width of that cell.
struct Cell {
    uint32_t index;
    uint32_t offset;
    uint32_t width;
};

Cell cellOf(const uint8_t* list, int32_t points, uint32_t x) {
    uint32_t i = 1;
    while (list[i] < x && static_cast<int32_t>(i) < points - 1) ++i;
    return {i, x - list[i - 1], uint32_t{list[i]} - list[i - 1]};
}

// The tetrahedron of a cell that holds the offsets (all in units of the
// axis-0 cell): its corners after N(000) as byte offsets, and the weights of
// the four corners, which add up to the cell width. Equal offsets fall to the
// first ordering that admits them.
struct Tetrahedron {
    size_t corner[3];
    uint32_t weight[4];
};

Tetrahedron tetrahedron(uint32_t width, const uint32_t off[3], const size_t stride[3]) {
    const uint32_t a = off[0], b = off[1], c = off[2];
    int first, second, third;
    if (a >= b) {
        if (a >= c) {
            first = 0, second = b >= c ? 1 : 2, third = b >= c ? 2 : 1;
        } else {
            first = 2, second = 0, third = 1;
        }
    } else if (a >= c) {
        first = 1, second = 0, third = 2;
    } else if (b >= c) {
        first = 1, second = 2, third = 0;
    } else {
        first = 2, second = 1, third = 0;
    }
    Tetrahedron t;
    t.corner[0] = stride[first];
    t.corner[1] = t.corner[0] + stride[second];
    t.corner[2] = t.corner[1] + stride[third];
    t.weight[0] = width - off[first];
    t.weight[1] = off[first] - off[second];
    t.weight[2] = off[second] - off[third];
    t.weight[3] = off[third];
    return t;
}

// Runs f(ch) for every channel: unrolled when the count is fixed at compile
// time, a loop over `c` otherwise.
template <int Channels, typename F>
inline void forEachChannel(int32_t c, F f) {
    if constexpr (Channels != 0) {
        [&]<size_t... ch>(std::index_sequence<ch...>) {
            (f(int32_t(ch)), ...);
        }
        (std::make_index_sequence<Channels>{});
    } else {
        for (int32_t ch = 0; ch < c; ++ch) f(ch);
    }
}

// The sampler for `channels` channels; Channels is that count when it is
// fixed at compile time (the six of a separation grid), 0 when it is not.
template <int Channels, GridFinish Finish>
void resample(const CmLut& source, const CmLut& target, uint8_t* table, size_t entryBytes) {
    const int32_t c = Channels != 0 ? Channels : source.channels;
    const int32_t nodes3 = source.points[3];
    const size_t s3 = size_t(c);
    const size_t stride[3] = {size_t(source.points[1]) * size_t(source.points[2]) * nodes3 * s3,
                              size_t(source.points[2]) * nodes3 * s3, nodes3 * s3};

    const int32_t count0 = target.points[0], count1 = target.points[1], count2 = target.points[2];
    Cell cells0[kMaxListPoints], cells1[kMaxListPoints], cells2[kMaxListPoints];
    Cell cells3[kMaxListPoints];
    for (int32_t i = 0; i < count0; ++i) {
        cells0[i] = cellOf(source.list0, source.points[0], target.list0[i]);
        cells3[i] = cellOf(source.list2, nodes3, target.list0[i]);
    }
    for (int32_t j = 0; j < count1; ++j)
        cells1[j] = cellOf(source.list1, source.points[1], target.list1[j]);
    for (int32_t k = 0; k < count2; ++k)
        cells2[k] = cellOf(source.list2, source.points[2], target.list2[k]);

    // Weighted corner sums per node of axis 3 and channel. The weights add up
    // to the cell width, so a sum is at most 255 x 255 and fits 16 bits.
    uint16_t sums[kMaxListPoints * kMaxGridChannels];
    // The interpolation along axis 3 divides (upper x t + lower x (d - t)), a
    // numerator below 2^24, by d x width, below 2^16. With r = 2^40 / (d x
    // width) rounded up, the product with r shifted right by 40 is the exact
    // quotient; r is folded into the two weights of each point of axis 3.
    uint64_t upperWeight[kMaxListPoints], lowerWeight[kMaxListPoints];

    for (int32_t i = 0; i < count0; ++i) {
        const uint32_t width = cells0[i].width;
        for (int32_t l = 0; l < count0; ++l) {
            const Cell& z = cells3[l];
            const uint64_t divisor = uint64_t{z.width} * width;
            const uint64_t r = ((uint64_t{1} << kReciprocalShift) + divisor - 1) / divisor;
            upperWeight[l] = z.offset * r;
            lowerWeight[l] = (z.width - z.offset) * r;
        }
        for (int32_t j = 0; j < count1; ++j) {
            for (int32_t k = 0; k < count2; ++k) {
                const uint32_t off[3] = {cells0[i].offset,
                                         cells1[j].offset * width / cells1[j].width,
                                         cells2[k].offset * width / cells2[k].width};
                const Tetrahedron t = tetrahedron(width, off, stride);
                const uint8_t* n000 = source.grid + (cells0[i].index - 1) * stride[0] +
                                      (cells1[j].index - 1) * stride[1] +
                                      (cells2[k].index - 1) * stride[2];
                const uint8_t* n1 = n000 + t.corner[0];
                const uint8_t* n2 = n000 + t.corner[1];
                const uint8_t* n3 = n000 + t.corner[2];
                const uint16_t w0 = uint16_t(t.weight[0]), w1 = uint16_t(t.weight[1]);
                const uint16_t w2 = uint16_t(t.weight[2]), w3 = uint16_t(t.weight[3]);
                for (int32_t m = 0; m < nodes3; ++m) {
                    const size_t at = size_t(m) * s3;
                    forEachChannel<Channels>(c, [&](int32_t ch) {
                        sums[at + ch] = uint16_t(w0 * n000[at + ch] + w1 * n1[at + ch] +
                                                 w2 * n2[at + ch] + w3 * n3[at + ch]);
                    });
                }
                for (int32_t l = 0; l < count0; ++l, table += entryBytes) {
                    const uint16_t* lower = sums + (cells3[l].index - 1) * s3;
                    const uint16_t* upper = lower + s3;
                    const uint64_t a = upperWeight[l], b = lowerWeight[l];
                    auto sample = [&](int32_t ch) {
                        return int32_t((upper[ch] * a + lower[ch] * b) >> kReciprocalShift);
                    };
                    if constexpr (Finish == GridFinish::pairTransfer && Channels == 6) {
                        int32_t v[6];
                        forEachChannel<6>(6, [&](int32_t ch) { v[ch] = sample(ch); });
                        pairTransferAmounts(v);
                        forEachChannel<6>(6, [&](int32_t ch) { table[ch] = uint8_t(v[ch]); });
                    } else {
                        forEachChannel<Channels>(
                            c, [&](int32_t ch) { table[ch] = uint8_t(sample(ch)); });
                        if constexpr (Finish == GridFinish::pairTransfer) pairTransfer(table);
                    }
                }
            }
        }
    }
}

template <GridFinish Finish>
void resampleChannels(const CmLut& source, const CmLut& target, uint8_t* table, size_t entryBytes) {
    if (source.channels == 6)
        resample<6, Finish>(source, target, table, entryBytes);
    else
        resample<0, Finish>(source, target, table, entryBytes);
}

}  // namespace

void resampleGrid(const CmLut& source, const CmLut& target, uint8_t* table, size_t entryBytes,
                  GridFinish finish) {
    if (finish == GridFinish::pairTransfer)
        resampleChannels<GridFinish::pairTransfer>(source, target, table, entryBytes);
    else
        resampleChannels<GridFinish::asSampled>(source, target, table, entryBytes);
}

}  // namespace inkdot
