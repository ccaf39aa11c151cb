#include "colour/patch_print.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "inkdot/inkdot.h"

namespace inkdot::colour {
namespace {

// The inks of the planes the six-ink kernels write, plane by plane: the
// dark inks and black first, then the light inks.
constexpr InkId kSixPlanes[] = {InkId::Cyan,  InkId::Magenta,   InkId::Yellow,
                                InkId::Black, InkId::LightCyan, InkId::LightMagenta};
constexpr InkId kOnePlane[] = {InkId::Black};

[[noreturn]] void failed(const char* call, int32_t result) {
    throw std::runtime_error(std::string("printing patches: ") + call + " failed with result " +
                             std::to_string(result));
}

// An index of one line that chooses the patch table (resource 1) for the
// records below.
respack::Bytes patchIndex(int bits) {
    respack::IndexOptions o;
    o.lines = {{1, 200, "Standard", "Patches", 1, bits, "Matched", 6, 1, ""}};
    o.keyA = {"Auto", "Graphics", "Neutral", "Standard"};
    o.keyB = {"Patches"};
    o.keyC = {"None", "Linear", "Custom", "Vivid", "Matched"};
    const std::string text = respack::indexText(o);
    respack::Bytes out(text.begin(), text.end());
    out.push_back(0);
    return out;
}

// Owns a library object for the length of a run.
struct Objects {
    CmContext* cm = nullptr;
    HalftoneContext* ht = nullptr;
    ~Objects() {
        if (ht) HalftoneDelete(ht);
        if (cm) CmDelete(cm);
    }
};

}  // namespace

PatchPrinter::PatchPrinter(respack::Bytes table4d, ResourceSource halftone, PrintPath path,
                           InkModel model, PatchLayout layout)
    : table_(std::move(table4d)),
      halftone_(std::move(halftone)),
      path_(path),
      model_(std::move(model)),
      layout_(layout) {
    if (path_.bits != 1 && path_.bits != 2)
        throw std::invalid_argument("patches print with one-bit or two-bit dots");
    if (layout_.size < 2 * layout_.margin + 1 || layout_.perRow < 1)
        throw std::invalid_argument("a patch must keep something inside its margins");
}

std::vector<Linear> PatchPrinter::printCmyk(std::span<const Cmyk> patches) const {
    std::vector<uint8_t> input;
    input.reserve(patches.size() * 4);
    for (const Cmyk& p : patches) input.insert(input.end(), {p.c, p.m, p.y, p.k});
    return run(input, 4, patches.size());
}

std::vector<Linear> PatchPrinter::printBlack(std::span<const uint8_t> values) const {
    return run(values, 1, values.size());
}

std::vector<Linear> PatchPrinter::run(std::span<const uint8_t> input, int bytesPerPixel,
                                      size_t count) const {
    const bool six = bytesPerPixel == 4;
    const int bits = path_.bits, size = layout_.size, margin = layout_.margin;
    const int perRow = int(std::min<size_t>(size_t(layout_.perRow), std::max<size_t>(1, count)));
    const int width = perRow * size;

    // Colour matching: the index and the table, as the driver selects it.
    Objects o;
    const respack::Bytes index = patchIndex(bits);
    int32_t gammaRef = 150;
    const CmTagList tags{1, {{INKDOT_TAG_GAMMA_REF, &gammaRef}}};
    CmParams cp{};
    cp.numberC = 6;
    cp.colorMode = 2;
    // A grey page keeps only the table's black-only greys.
    cp.greyMode = six ? 0 : 50;
    cp.tags = &tags;
    CmSelect cs{};
    cs.keyA = 3;
    cs.pixelLayout = 1;
    cs.numberA = 1;
    cs.numberB = bits;
    cs.numberD = 1;
    int32_t next = 0;
    if (int32_t r = CmNew(&cp, &cs, 0, &next, &o.cm); r != INKDOT_OK)
        o.cm = nullptr, failed("CmNew", r);
    if (int32_t r = CmSetResource(o.cm, index.data(), &next); r != INKDOT_OK || next != 1)
        failed("CmSetResource (index)", r);
    if (int32_t r = CmSetResource(o.cm, table_.data(), &next);
        r != INKDOT_OK || next != INKDOT_NO_RESOURCE)
        failed("CmSetResource (table)", r);

    HalftoneParams hp{};
    hp.method = path_.diffusion ? 1 : 3;
    hp.inputFormat = six ? 4 : 0;
    hp.inkSet = six ? 3 : 0;
    hp.xResolution = path_.xResolution;
    hp.yResolution = path_.yResolution;
    hp.outputBits = bits;
    hp.maxPixels = width;
    hp.version = INKDOT_HALFTONE_VERSION;
    int32_t tableClass = 0;
    if (int32_t r = HalftoneNew(&hp, CmGetLut(o.cm), 0, &tableClass, &o.ht); r != INKDOT_OK)
        o.ht = nullptr, failed("HalftoneNew", r);
    next = path_.halftoneList;
    for (int step = 0; next != INKDOT_NO_RESOURCE; ++step) {
        if (step == 8)
            failed("HalftoneSetResource (a sequence that does not end)", INKDOT_SEQUENCE_ENDED);
        const respack::Bytes& bytes = halftone_(next);
        if (int32_t r = HalftoneSetResource(o.ht, bytes.data(), &next); r != INKDOT_OK)
            failed("HalftoneSetResource", r);
    }

    // Dots to colour: the reflectance of every combination of the planes.
    const std::span<const InkId> inks =
        six ? std::span<const InkId>(kSixPlanes) : std::span<const InkId>(kOnePlane);
    const std::vector<Linear> look = model_.combinations(inks, bits);
    const int planes = int(inks.size());
    const size_t stride = (size_t(width) * size_t(bits) + 7) / 8 + 16;

    // Measured as the paper sees the dots (two pixels wide at 2880 dpi).
    const Footprint footprint(model_, bits, path_.xResolution);

    std::vector<Linear> sums(count);
    std::vector<uint8_t> line(size_t(width) * size_t(bytesPerPixel) + 16),
        out(stride * size_t(planes));
    const size_t rows = (count + size_t(perRow) - 1) / size_t(perRow);
    for (size_t row = 0; row < rows; ++row) {
        const size_t first = row * size_t(perRow);
        // The row's input line: each patch's value across its width; a row
        // that is not full repeats its last patch.
        for (int x = 0; x < width; ++x) {
            const size_t p = std::min(count - 1, first + size_t(x / size));
            std::copy_n(&input[p * size_t(bytesPerPixel)], bytesPerPixel,
                        &line[size_t(x) * size_t(bytesPerPixel)]);
        }
        for (int y = 0; y < size; ++y) {
            std::fill(out.begin(), out.end(), 0);
            const int32_t lineNumber = int32_t(row) * size + y;
            if (int32_t r = Halftone(o.ht, line.data(), out.data(), int32_t(stride), 0, width, 0, 1,
                                     lineNumber, 0, 0);
                r != INKDOT_OK)
                failed("Halftone", r);
            if (y < margin || y >= size - margin) continue;
            for (int k = 0; k < planes; ++k)
                footprint.spread(&out[size_t(k) * stride], width, &out[size_t(k) * stride]);
            for (size_t p = first; p < std::min(count, first + size_t(perRow)); ++p) {
                Linear& sum = sums[p];
                const int x0 = int(p - first) * size;
                for (int x = x0 + margin; x < x0 + size - margin; ++x) {
                    const size_t e = combinationAt(planes, bits, x,
                                                   [&](int k) { return &out[size_t(k) * stride]; });
                    sum.r += look[e].r, sum.g += look[e].g, sum.b += look[e].b;
                }
            }
        }
    }
    if (int32_t r = HalftoneDelete(o.ht); r != INKDOT_OK)
        o.ht = nullptr, failed("HalftoneDelete", r);
    o.ht = nullptr;
    const double area = double(size - 2 * margin) * double(size - 2 * margin);
    for (Linear& s : sums) s = {s.r / area, s.g / area, s.b / area};
    return sums;
}

}  // namespace inkdot::colour
