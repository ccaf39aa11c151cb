#include "support/page_fixtures.h"

#include "respack/respack.h"

namespace inkdot::test {
namespace {

constexpr int32_t kTable = 3300;
constexpr int16_t kRecords = 300;

std::string pageIndex() {
    return IndexText{}.line({kTable, 120, "Plain", "Vivid", 720, 1440, "Max", 7, 1}).str();
}

CmParams cmParams() {
    CmParams p{};
    p.keyB = 1;
    p.numberC = 7;
    return p;
}

CmSelect cmSelect() {
    CmSelect s{};
    s.pixelLayout = 1;
    s.numberA = 720;
    s.numberB = 1440;
    s.numberD = 1;
    return s;
}

PageResources halftoneResources(Bytes table) {
    return {std::move(table),
            respack::resourceList({100, 201, 202, 203, 204, 205}),
            respack::gridLevels(),
            respack::ditherMatrixBlueNoise(64),
            {}};
}

}  // namespace

PageResources oneInkResources() {
    return halftoneResources(respack::colourTable3d(
        {.points = 17, .percentAt0 = 350, .extraBlock = respack::extraBlockKind1({})}));
}

PageResources sixInkResources() {
    return halftoneResources(
        respack::colourTable4d({.points = 9, .extraBlock = respack::extraBlockKind1({})}));
}

PageResources sixInkResourcesWithRecords() {
    PageResources r = halftoneResources(respack::colourTable4d(
        {.points = 9, .extraBlock = respack::extraBlockKind2({.records = kRecords})}));
    // Records of their own, not the ones the level model would make.
    r.records = respack::levelRecords({.smallShare = 0.35});
    return r;
}

HalftonePage::HalftonePage(const HalftoneParams& params, const PageResources& resources)
    : cm_(cmParams(), cmSelect(), pageIndex(), resources.table) {
    if (cm_.tableResult != INKDOT_OK || cm_.tableAnswer != INKDOT_NO_RESOURCE) return;
    int32_t tableClass = 0;
    failure = "HalftoneNew";
    if (HalftoneNew(&params, &cm_.lut(), 0, &tableClass, &context_) != INKDOT_OK) {
        context_ = nullptr;
        return;
    }
    failure = "resource sequence";
    int32_t next = 0;
    for (const Bytes* data : {&resources.list, &resources.levels, &resources.matrix}) {
        if (HalftoneSetResource(context_, data->data(), &next) != INKDOT_OK) return;
    }
    if (next == kRecords &&
        HalftoneSetResource(context_, resources.records.data(), &next) != INKDOT_OK)
        return;
    if (next == INKDOT_NO_RESOURCE) failure = nullptr;
}

HalftonePage::~HalftonePage() {
    if (context_ != nullptr) HalftoneDelete(context_);
}

int32_t HalftonePage::inputBytesPerPixel() const {
    const int32_t pixel = context_->params.inkSet == 0 ? 1 : 4;
    return context_->params.inputScale == -1 ? 2 * pixel : pixel;
}

int32_t HalftonePage::line(const Bytes& input, Bytes& planes, int32_t planeStride,
                           int32_t lineNumber, int32_t startX, int32_t count) {
    const int32_t slot = startX * bitsPerPixel();
    return Halftone(context_, input.data() + size_t(startX) * size_t(inputBytesPerPixel()),
                    planes.data() + slot / 8, planeStride, (slot % 8) / bitsPerPixel(), count,
                    startX, 1, lineNumber, 0, 0);
}

int32_t inkAt(const Bytes& planes, int32_t planeStride, int plane, int32_t x, int32_t bits) {
    const uint8_t byte = planes[size_t(plane) * size_t(planeStride) + size_t(x * bits / 8)];
    const int32_t shift = 8 - bits - (x * bits) % 8;
    return (byte >> shift) & ((1 << bits) - 1);
}

}  // namespace inkdot::test
