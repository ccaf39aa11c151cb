// The separation path's line: four-channel pixels separated into six ink
// amounts through a re-sampled grid of packed entries, handed out as bytes
// (8-bit output) or turned into six one-bit planes against the dither
// matrix. Neighbouring pixels of similar colour have their amounts averaged
// instead of diffused.
#include "kernels/separation_path.h"

#include <cstddef>

#include "kernels/diffusion.h"
#include "kernels/kernels.h"
#include "kernels/little_endian.h"

namespace inkdot::kernels {
namespace {

constexpr uint32_t kPairLowBytes = 0x00FF00FF;

// The smoothing state starts from a key no real key is a neighbour of.
constexpr uint32_t kNoPreviousKey = 35;

// The three packed pair words of one pixel.
struct Amounts {
    uint32_t p;  // e0, e2
    uint32_t q;  // e1, e3
    uint32_t u;  // e4, e5
};

// Separation of one pixel with smoothing against the previous one.
class Separator {
public:
    explicit Separator(const KernelView& view)
        : table_(view.separationTable), quantiser_(view.quantiser) {}

    Amounts separate(const uint8_t* pixel, int32_t m0) {
        const uint32_t t = uint32_t(m0) & 0xFE;
        const uint32_t i0 = index(pixel[0], t), i1 = index(pixel[1], t), i2 = index(pixel[2], t),
                       i3 = index(pixel[3], t);
        const uint8_t* entry = table_ + (((i0 * 32 + i1) * 32 + i2) * 32 + i3) * kPackedEntryBytes;
        const uint32_t first = readLe32(entry), second = readLe32(entry + 4);
        Amounts a{first & kPairLowBytes, (first >> 8) & kPairLowBytes, second & kPairLowBytes};

        // Each index within one step of the previous pixel's: the four
        // differences, packed, stay inside their fields after the bias.
        const uint32_t key = i2 + (i0 << 10) + (i3 << 16) + (i1 << 26);
        const uint32_t d = key - previousKey_;
        if ((((d + 0x04010401u) | (d + 0x08020802u)) & 0xF3FCF3FCu) == 0) {
            const uint32_t round = (uint32_t(m0) & 1) == 0 ? 0x10001u : 0u;
            a.p = ((a.p + round + previous_.p) >> 1) & kPairLowBytes;
            a.q = ((a.q + round + previous_.q) >> 1) & kPairLowBytes;
            a.u = ((a.u + round + previous_.u) >> 1) & kPairLowBytes;
        }
        previousKey_ = key;
        previous_ = a;
        return a;
    }

private:
    uint32_t index(uint8_t value, uint32_t t) const {
        const uint8_t* pair = quantiser_ + 2 * size_t{value};
        return pair[0] + (t >= pair[1] ? 1u : 0u);
    }

    const uint8_t* table_;
    const uint8_t* quantiser_;
    uint32_t previousKey_ = kNoPreviousKey;
    Amounts previous_{0, 0, 0};
};

// Where output pixel i (counted from startX) takes its input: with
// inputScale 1 every input pixel serves two output pixels.
inline const uint8_t* inputPixel(const uint8_t* src, int32_t i, bool repeat, bool pairs) {
    const int32_t n = repeat ? i >> 1 : pairs ? 2 * i : i;
    return src + 4 * size_t(n);
}

void byteOutput(const KernelView& view, const uint8_t* src, uint8_t* dst, int32_t pixelCount,
                int32_t startX, int32_t lineNumber) {
    const int32_t scale = view.inputScale;
    const MatrixRow row = matrixRow(view, lineNumber);
    Separator separator(view);
    for (int32_t i = 0; i < pixelCount; ++i, dst += 6) {
        const uint8_t* in = inputPixel(src, i, scale == 1, scale == -1);
        uint8_t pixel[4] = {in[0], in[1], in[2], in[3]};
        if (scale == -1)
            for (int k = 0; k < 4; ++k) pixel[k] = in[k] > in[4 + k] ? in[k] : in[4 + k];
        const Amounts a = separator.separate(pixel, row.at(startX + i));
        dst[0] = uint8_t(a.p);
        dst[1] = uint8_t(a.q);
        dst[2] = uint8_t(a.p >> 16);
        dst[3] = uint8_t(a.q >> 16);
        dst[4] = uint8_t(a.u);
        dst[5] = uint8_t(a.u >> 16);
    }
}

void oneBitOutput(const KernelView& view, const uint8_t* src, uint8_t* dst, int32_t planeStride,
                  int32_t bitOffset, int32_t pixelCount, int32_t startX, int32_t lineNumber) {
    const int32_t width = view.matrixWidth, height = view.matrixHeight;
    const MatrixRow row0 = matrixRow(view, lineNumber);
    const MatrixRow row1 = matrixRow(view, int32_t(uint32_t(lineNumber) + uint32_t(height / 2)));
    const uint32_t k = uint32_t(view.matrixSize) - 1;
    const int32_t* t = view.levelThresholds;
    auto over = [t](uint32_t amount, uint32_t m) { return uint32_t(t[amount & 0xFF]) > m; };

    Separator separator(view);
    DotPacker<1, 6> packer(dst, planeStride, bitOffset);
    const bool repeat = view.inputScale == 1;
    for (int32_t i = 0; i < pixelCount; ++i, packer.next()) {
        const uint8_t* in = inputPixel(src, i, repeat, false);
        if ((in[0] | in[1] | in[2] | in[3]) == 0) continue;  // no ink: no dot, no smoothing
        const int32_t x = startX + i;
        const uint32_t m0 = uint32_t(row0.at(x));
        const uint32_t m1 = uint32_t(row1.at(x + width / 2));
        const uint32_t m2 = uint32_t(row0.at(x + 3 * width / 4));
        const Amounts a = separator.separate(in, int32_t(m0));
        // The two amounts of a pair fill a matrix from opposite ends.
        packer.mark(0, dotCode(over(a.p, m0)));
        packer.mark(1, dotCode(over(a.p >> 16, m1)));
        packer.mark(2, dotCode(over(a.u, m2)));
        packer.mark(3, dotCode(over(a.u >> 16, k - m2)));
        packer.mark(4, dotCode(over(a.q, k - m0)));
        packer.mark(5, dotCode(over(a.q >> 16, k - m1)));
    }
    packer.finish();
}

int32_t separationPathLine(const LineCall& call) {
    const KernelView& view = call.view;
    if (view.outputBits == 8) {
        byteOutput(view, call.line, call.dst, call.pixelCount, call.startX, call.lineNumber);
        return INKDOT_OK;
    }
    if (call.enable == 0) return INKDOT_NOT_ENABLED;
    if (!bitOffsetFits<1>(call.bitOffset)) return INKDOT_UNSUPPORTED;
    // The slots from bitOffset on are cleared in every plane, even for an
    // empty stretch.
    const uint8_t keep = uint8_t(~(0xFFu >> call.bitOffset));
    for (int p = 0; p < 6; ++p) call.dst[ptrdiff_t(p) * call.planeStride] &= keep;
    oneBitOutput(view, call.line, call.dst, call.planeStride, call.bitOffset, call.pixelCount,
                 call.startX, call.lineNumber);
    return INKDOT_OK;
}

}  // namespace

INKDOT_DEFINE_KERNEL(HalftoneSeparationPath, separationPathLine)

}  // namespace inkdot::kernels
