// The line kernels on a full-width line (24,480 pixels: 34 inches at 720 dpi).
//
// Each kernel runs on an object completed through the real resource
// sequence (so its tables are the ones a driver gets), called directly so
// that only the kernel is timed, line after line with the error line carried
// on as on a page. The line holds a photo-like gradient, a flat mid tint and
// noise, a third each (or one of them alone); `photo` is a line cut from the
// sample chart (through its colour band) and widened. Reported: "mpx_per_s", and
// "vs_memcpy", the kernel's time over that of a memcpy of the same input
// and output bytes.
//
// To add a kernel: give its parameters and kernel in kKernelCases; a
// separating kernel needs a four-dimensional table (BenchObject takes any
// CmLut with its grid).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "halftone/halftone_context.h"
#include "inkdot/inkdot.h"
#include "kernels/kernels.h"
#include "respack/respack.h"
#ifdef INKDOT_BENCH_CHART
#include "chart.h"
#endif

namespace {

constexpr int32_t kLineWidth = 24480;

// A fixed-seed generator, so every run sees the same line and matrix.
struct XorShift {
    uint32_t state = 2463534242u;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

// ---------------------------------------------------------------------------
// Input lines

enum class Content { Mixed, Gradient, Flat, Noise, Photo };
const char* const kContentNames[] = {"mixed", "gradient", "flat", "noise", "photo"};

// The contents each kernel runs on; the photo line only where the chart is built.
constexpr Content kContents[] = {Content::Mixed, Content::Gradient, Content::Flat, Content::Noise,
#ifdef INKDOT_BENCH_CHART
                                 Content::Photo
#endif
};

// A row of the sample chart through its colour band (a spectrum darkening
// toward the foot, with white margins), widened to the line by linear
// interpolation, as CMYK: the complements with the grey taken out into
// black. Channel 4 is the single-ink density, 255 less the luma.
std::array<std::vector<uint8_t>, 5> photoChannels() {
    std::array<std::vector<uint8_t>, 5> channels;
#ifdef INKDOT_BENCH_CHART
    const inkdot::cli::Image chart = inkdot::cli::drawChart();
    const int row = chart.height * 1100 / 1754;
    const uint8_t* rgb = chart.pixels.data() + size_t(row) * size_t(chart.width) * 3;
    for (auto& c : channels) c.resize(kLineWidth);
    for (int32_t x = 0; x < kLineWidth; ++x) {
        const double at = double(x) * double(chart.width - 1) / double(kLineWidth - 1);
        const int left = int(at);
        const int right = std::min(left + 1, chart.width - 1);
        const double t = at - left;
        int v[3];
        for (int k = 0; k < 3; ++k)
            v[k] = int(std::lround(rgb[3 * left + k] * (1 - t) + rgb[3 * right + k] * t));
        const int c = 255 - v[0], m = 255 - v[1], y = 255 - v[2];
        const int black = std::min({c, m, y});
        channels[0][size_t(x)] = uint8_t(c - black);
        channels[1][size_t(x)] = uint8_t(m - black);
        channels[2][size_t(x)] = uint8_t(y - black);
        channels[3][size_t(x)] = uint8_t(black);
        channels[4][size_t(x)] = uint8_t(255 - (77 * v[0] + 150 * v[1] + 29 * v[2]) / 256);
    }
#endif
    return channels;
}

// `pixels` input values of one content. The gradient climbs from paper to
// solid with a slow ripple and a little grain, as a photograph's sky or skin
// does; the flat tint is 128; noise is uniform.
std::vector<uint8_t> contentValues(Content content, size_t pixels, XorShift& rng) {
    std::vector<uint8_t> values(pixels);
    for (size_t i = 0; i < pixels; ++i) {
        const double t = double(i) / double(pixels);
        switch (content) {
            case Content::Gradient: {
                const double v =
                    255.0 * t + 18.0 * std::sin(t * 40.0) + double(rng.next() % 7) - 3.0;
                values[i] = uint8_t(std::clamp(v, 0.0, 255.0));
                break;
            }
            case Content::Flat: values[i] = 128; break;
            case Content::Noise: values[i] = uint8_t(rng.next() >> 24); break;
            case Content::Mixed:
            case Content::Photo: break;
        }
    }
    return values;
}

// The input of one line: `bytesPerPixel` bytes per output pixel (two for the
// kernels that take the larger or smaller of a pair, each of the pair the
// same value with a little difference).
std::vector<uint8_t> inputLine(Content content, int bytesPerPixel) {
    XorShift rng;
    std::vector<uint8_t> values;
    if (content == Content::Mixed) {
        for (Content part : {Content::Gradient, Content::Flat, Content::Noise}) {
            std::vector<uint8_t> third = contentValues(part, kLineWidth / 3, rng);
            values.insert(values.end(), third.begin(), third.end());
        }
    } else if (content == Content::Photo) {
        values = photoChannels()[4];
    } else {
        values = contentValues(content, kLineWidth, rng);
    }
    std::vector<uint8_t> line;
    for (uint8_t v : values)
        for (int b = 0; b < bytesPerPixel; ++b)
            line.push_back(b == 0 ? v : uint8_t(std::max(0, int(v) - int(rng.next() % 3))));
    return line;
}

// ---------------------------------------------------------------------------
// Objects

// A one-ink colour table: 17 grid points whose ink follows a curve a little
// below the input, as a real table's ink channel does.
struct SingleInkTable {
    CmLut lut{};
    std::vector<uint8_t> grid;
    std::vector<uint8_t> extra;

    // `extraChain`: a chain-kind extra block (the two-bit objects need one
    // for their level records).
    explicit SingleInkTable(bool extraChain) {
        constexpr int kPoints = 17;
        lut.channels = 1;
        lut.points[0] = lut.points[1] = lut.points[2] = kPoints;
        lut.percentAt0 = 350;
        lut.percentAt255 = 100;
        for (int i = 0; i < kPoints; ++i) {
            const int level = (255 * i + 8) / 16;
            lut.list0[i] = lut.list1[i] = lut.list2[i] = uint8_t(level);
            grid.push_back(uint8_t(std::lround(255.0 * std::pow(level / 255.0, 1.25))));
        }
        lut.grid = grid.data();
        lut.gridHandle = grid.data();
        if (extraChain) {
            extra = {4, 0, 0, 0, 0xFE, 0xFF};         // item of 4 bytes: tag 0xFFFE,
            bench::putLe16(extra, {2});               // small-dot code 2,
            extra.insert(extra.end(), {0, 0, 0, 0});  // end of the chain
            lut.extraBlock = extra.data();
        }
    }
};

// A dither-matrix resource: a 256 x 256 shuffle of the ranks 0 .. 65535.
std::vector<uint8_t> matrixResource() {
    std::vector<uint16_t> ranks(65536);
    for (size_t i = 0; i < ranks.size(); ++i) ranks[i] = uint16_t(i);
    XorShift rng;
    for (size_t i = ranks.size() - 1; i > 0; --i) std::swap(ranks[i], ranks[rng.next() % (i + 1)]);
    std::vector<uint8_t> out = {255, 255, 0, 0};
    for (uint16_t r : ranks) bench::putLe16(out, {r});
    return out;
}

// A halftone object run through its whole resource sequence.
class BenchObject {
public:
    BenchObject(const HalftoneParams& params, const CmLut& lut) {
        int32_t tableClass = 0;
        check(HalftoneNew(&params, &lut, 0, &tableClass, &context_), "HalftoneNew");
        const std::vector<uint8_t> list = bench::le16s({100, 201, 202, 203, 204, 205, -1});
        std::vector<uint8_t> levels = bench::le16s({32});
        for (int i = 0; i < 32; ++i) levels.push_back(uint8_t(255 * i / 31));
        int32_t next = 0;
        check(HalftoneSetResource(context_, list.data(), &next), "resource list");
        check(HalftoneSetResource(context_, levels.data(), &next), "grid levels");
        const std::vector<uint8_t> matrix = matrixResource();
        check(HalftoneSetResource(context_, matrix.data(), &next), "dither matrix");
        if (next != INKDOT_NO_RESOURCE) throw std::runtime_error("sequence did not end");
    }
    ~BenchObject() { HalftoneDelete(context_); }
    BenchObject(const BenchObject&) = delete;
    BenchObject& operator=(const BenchObject&) = delete;

    HalftoneContext& context() { return *context_; }

private:
    static void check(int32_t result, const char* step) {
        if (result != INKDOT_OK) throw std::runtime_error(std::string(step) + " failed");
    }
    HalftoneContext* context_ = nullptr;
};

// ---------------------------------------------------------------------------
// Kernels

struct KernelCase {
    const char* name;
    inkdot::kernels::Kernel* kernel;
    int32_t xResolution, yResolution, outputBits;
    int32_t inputScale;  // -1: two input bytes per pixel
    int32_t pairFlag;    // the value the frame passes
    int32_t method = 1;  // 3: ordered dither
};

const KernelCase kKernelCases[] = {
    {"HalftoneBinary", &inkdot::kernels::HalftoneBinary, 720, 720, 1, 0, 0},
    {"HalftoneBinary1440", &inkdot::kernels::HalftoneBinary1440, 1440, 720, 1, 0, 0},
    {"HalftoneMulti", &inkdot::kernels::HalftoneMulti, 720, 720, 2, 0, 0},
    {"HalftoneMulti1440", &inkdot::kernels::HalftoneMulti1440, 1440, 720, 2, 0, 0},
    {"HalftoneMulti2880", &inkdot::kernels::HalftoneMulti2880, 2880, 720, 2, 0, 0},
    {"HalftoneMultiMode/mode6", &inkdot::kernels::HalftoneMultiMode, 360, 720, 2, 0, 0},
    {"HalftoneMultiMode/mode3", &inkdot::kernels::HalftoneMultiMode, 360, 720, 2, -1, 1},
    {"HalftoneDither", &inkdot::kernels::HalftoneDither, 720, 720, 1, 0, 0, 3},
    {"HalftoneDither/smaller", &inkdot::kernels::HalftoneDither, 720, 720, 1, -1, 0, 3},
};

HalftoneParams paramsFor(const KernelCase& c) {
    HalftoneParams p{};
    p.method = c.method;
    p.inputFormat = 0;
    p.inkSet = 0;
    p.xResolution = c.xResolution;
    p.yResolution = c.yResolution;
    p.outputBits = c.outputBits;
    p.inputScale = c.inputScale;
    p.maxPixels = kLineWidth;
    p.pairFlag = c.pairFlag;
    p.version = INKDOT_HALFTONE_VERSION;
    return p;
}

void reportRates(benchmark::State& state, size_t ioBytes) {
    const double iterations = double(state.iterations());
    state.counters["mpx_per_s"] =
        benchmark::Counter(kLineWidth * iterations / 1e6, benchmark::Counter::kIsRate);
    // memcpy seconds per second of kernel, inverted: kernel time / memcpy time.
    state.counters["vs_memcpy"] =
        benchmark::Counter(bench::memcpyNanos(ioBytes) * 1e-9 * iterations,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void runKernel(benchmark::State& state, const KernelCase& c, Content content) {
    SingleInkTable table(c.outputBits == 2);
    BenchObject object(paramsFor(c), table.lut);
    const std::vector<uint8_t> input = inputLine(content, c.inputScale == -1 ? 2 : 1);
    std::vector<uint8_t> output(size_t(kLineWidth * c.outputBits / 8));
    int32_t lineNumber = 0;
    for (auto _ : state) {
        const int32_t result =
            c.kernel(object.context().view, object.context().line, input.data(), output.data(), 0,
                     0, kLineWidth, 0, 1, lineNumber++, c.pairFlag, 0);
        if (result != INKDOT_OK) state.SkipWithError("kernel failed");
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    reportRates(state, input.size() + output.size());
}

void BM_Memcpy(benchmark::State& state) {
    const size_t bytes = size_t(state.range(0));
    std::vector<uint8_t> from(bytes, 1), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(bytes) * state.iterations());
}
// One-byte input with one-bit output, and with two-bit output.
BENCHMARK(BM_Memcpy)->Arg(kLineWidth + kLineWidth / 8)->Arg(kLineWidth + kLineWidth / 4);

const bool kRegistered = [] {
    for (const KernelCase& c : kKernelCases) {
        for (Content content : kContents) {
            const std::string name =
                std::string("BM_Kernel/") + c.name + "/" + kContentNames[int(content)];
            benchmark::RegisterBenchmark(name.c_str(), [&c, content](benchmark::State& state) {
                runKernel(state, c, content);
            });
        }
    }
    return true;
}();

// ---------------------------------------------------------------------------
// The separating kernels: four channels into six inks

// The colour-matching object of the six-ink selection; its CmLut feeds the
// separating objects.
class SixInkTable {
public:
    SixInkTable() {
        if (selection_.run(cm_) != INKDOT_OK)
            throw std::runtime_error("six-ink colour table failed");
    }
    ~SixInkTable() { CmDelete(cm_); }
    SixInkTable(const SixInkTable&) = delete;
    SixInkTable& operator=(const SixInkTable&) = delete;

    const CmLut& lut() const { return *CmGetLut(cm_); }

private:
    bench::SixInkSelection selection_;
    CmContext* cm_ = nullptr;
};

const KernelCase kSeparatingCases[] = {
    {"HalftoneBinarySep", &inkdot::kernels::HalftoneBinarySep, 720, 720, 1, 0, 0},
    {"HalftoneBinarySep360", &inkdot::kernels::HalftoneBinarySep360, 720, 360, 1, 0, 0},
    {"HalftoneBinarySep1440", &inkdot::kernels::HalftoneBinarySep1440, 1440, 720, 1, 0, 0},
    {"HalftoneMultiSep", &inkdot::kernels::HalftoneMultiSep, 720, 720, 2, 0, 0},
    {"HalftoneMultiSep1440", &inkdot::kernels::HalftoneMultiSep1440, 1440, 720, 2, 0, 0},
    {"HalftoneMultiSep2880", &inkdot::kernels::HalftoneMultiSep2880, 2880, 720, 2, 0, 0},
    {"HalftoneMultiSepMode/mode4", &inkdot::kernels::HalftoneMultiSepMode, 360, 720, 2, 0, 0},
    {"HalftoneMultiSepMode/mode1", &inkdot::kernels::HalftoneMultiSepMode, 360, 720, 2, -1, 1},
    // Depth 4: a six-ink one-bit dither object that is not in mode 7.
    {"HalftoneDitherSep", &inkdot::kernels::HalftoneDitherSep, 720, 720, 4, 0, 0, 3},
    {"HalftoneDitherMultiSep", &inkdot::kernels::HalftoneDitherMultiSep, 720, 720, 2, 0, 0, 3},
    // The separation path: six bytes of ink amounts a pixel, and six
    // one-bit planes.
    {"Mode7/bytes", &inkdot::kernels::HalftoneSeparationPath, 720, 720, 8, 0, 0},
    {"Mode7/oneBit", &inkdot::kernels::HalftoneSeparationPath, 720, 720, 1, 0, 0, 3},
};

// A line of four-channel pixels: each channel takes the content on its own
// stream of values (so that the gradient's channels ripple apart and the
// noise is independent per channel); inputScale -1 reads two pixels per
// output pixel.
std::vector<uint8_t> cmykLine(Content content, bool paired) {
    XorShift rng;
    std::vector<std::vector<uint8_t>> channels;
    if (content == Content::Photo) {
        const auto photo = photoChannels();
        channels.assign(photo.begin(), photo.begin() + 4);
    }
    for (int c = 0; c < 4 && content != Content::Photo; ++c) {
        std::vector<uint8_t> values;
        if (content == Content::Mixed) {
            for (Content part : {Content::Gradient, Content::Flat, Content::Noise}) {
                std::vector<uint8_t> third = contentValues(part, kLineWidth / 3, rng);
                values.insert(values.end(), third.begin(), third.end());
            }
        } else {
            values = contentValues(content, kLineWidth, rng);
        }
        // Less of the later channels, as a photograph has less black than colour.
        for (uint8_t& v : values) v = uint8_t(v * (4 - c) / 4);
        channels.push_back(std::move(values));
    }
    std::vector<uint8_t> line;
    for (int32_t x = 0; x < kLineWidth; ++x)
        for (int copy = 0; copy < (paired ? 2 : 1); ++copy)
            for (int c = 0; c < 4; ++c) line.push_back(channels[size_t(c)][size_t(x)]);
    return line;
}

void runSeparating(benchmark::State& state, const KernelCase& c, Content content) {
    static const SixInkTable table;
    HalftoneParams params = paramsFor(c);
    params.inkSet = 3;
    params.inputFormat = 4;
    BenchObject object(params, table.lut());
    const std::vector<uint8_t> input = cmykLine(content, c.inputScale == -1);
    // Bits a pixel of each plane: a depth other than 2 and 8 writes one bit.
    const int32_t bits = c.outputBits == 2 || c.outputBits == 8 ? c.outputBits : 1;
    const int32_t stride = kLineWidth * bits / 8;
    std::vector<uint8_t> output(size_t(6 * stride));
    int32_t lineNumber = 0;
    for (auto _ : state) {
        const int32_t result =
            c.kernel(object.context().view, object.context().line, input.data(), output.data(),
                     stride, 0, kLineWidth, 0, 1, lineNumber++, c.pairFlag, 0);
        if (result != INKDOT_OK) state.SkipWithError("kernel failed");
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    reportRates(state, input.size() + output.size());
}

const bool kSeparatingRegistered = [] {
    for (const KernelCase& c : kSeparatingCases) {
        for (Content content : kContents) {
            const std::string name =
                std::string("BM_Kernel/") + c.name + "/" + kContentNames[int(content)];
            benchmark::RegisterBenchmark(name.c_str(), [&c, content](benchmark::State& state) {
                runSeparating(state, c, content);
            });
        }
    }
    return true;
}();

}  // namespace
