#include "support/halftone_fixtures.h"

#include "frame/workers.h"

namespace inkdot::test {
namespace {

void putLe16(Bytes& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void putLe32(Bytes& out, uint32_t v) {
    putLe16(out, static_cast<uint16_t>(v));
    putLe16(out, static_cast<uint16_t>(v >> 16));
}

const std::vector<uint8_t> kFivePoints = {0, 64, 128, 192, 255};

}  // namespace

HalftoneParams singleInkParams() {
    HalftoneParams p{};
    p.method = 1;
    p.inputFormat = 0;
    p.inkSet = 0;
    p.xResolution = 720;
    p.yResolution = 720;
    p.outputBits = 1;
    p.inputScale = 0;
    p.maxPixels = 64;
    p.version = INKDOT_HALFTONE_VERSION;
    return p;
}

HalftoneParams separatedParams() {
    HalftoneParams p = singleInkParams();
    p.inkSet = 3;
    p.inputFormat = 4;
    return p;
}

LutWithGrid singleInkLut(std::vector<uint8_t> ink, int channels) {
    LutWithGrid t(kFivePoints, kFivePoints, kFivePoints, channels, [](const NodeIndex& n, int m) {
        return uint8_t(7 * n.i0 + 3 * n.i1 + n.i2 + m);
    });
    for (size_t i = 0; i < ink.size(); ++i)
        t.grid[i * size_t(channels) + size_t(channels - 1)] = ink[i];
    t.lut.gridHandle = t.grid.data();
    t.lut.percentAt0 = 250;
    t.lut.percentAt255 = 100;
    t.lut.tableClass = 3;
    return t;
}

LutWithGrid separationLut(int points) {
    const std::vector<uint8_t> list = evenList(points);
    const int top = points - 1;
    LutWithGrid t = LutWithGrid::fourD(list, list, list, 6, [top](const NodeIndex& n, int m) {
        const int mix[6][4] = {{3, 0, 0, 1}, {1, 2, 0, 0}, {0, 3, 0, 1},
                               {0, 1, 2, 0}, {0, 0, 1, 1}, {1, 0, 1, 2}};
        const int* w = mix[m];
        const int sum = w[0] * n.i0 + w[1] * n.i1 + w[2] * n.i2 + w[3] * n.i3;
        const int most = (w[0] + w[1] + w[2] + w[3]) * top;
        return uint8_t(sum * 255 / most);
    });
    t.lut.gridHandle = t.grid.data();
    t.lut.percentAt0 = 100;
    t.lut.percentAt255 = 100;
    t.lut.tableClass = 4;
    return t;
}

Bytes resourceList(std::initializer_list<int16_t> numbers) {
    Bytes out;
    for (int16_t n : numbers) putLe16(out, static_cast<uint16_t>(n));
    return out;
}

Bytes standardList() {
    return resourceList({100, 201, 202, 203, 204, 205, -1});
}

Bytes gridLevels(const std::vector<uint8_t>& levels, uint16_t count) {
    Bytes out;
    putLe16(out, count);
    out.insert(out.end(), levels.begin(), levels.end());
    return out;
}

Bytes ditherMatrix(uint8_t widthCode, uint8_t heightCode, const std::vector<uint16_t>& values) {
    Bytes out = {widthCode, heightCode, 0xAA, 0xAA};
    for (uint16_t v : values) putLe16(out, v);
    return out;
}

Bytes bayerMatrix(int n) {
    std::vector<uint16_t> values(size_t(n) * size_t(n));
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            int v = 0;
            // Bit-reversed interleave of (x ^ y, y): the recursive Bayer order.
            for (int bit = 1, xy = x ^ y; bit < n; bit *= 2)
                v = 4 * v + ((xy & bit) ? 2 : 0) + ((y & bit) ? 1 : 0);
            values[size_t(y) * size_t(n) + size_t(x)] = static_cast<uint16_t>(v);
        }
    return ditherMatrix(static_cast<uint8_t>(n), static_cast<uint8_t>(n), values);
}

Bytes levelRecordResource(const std::vector<std::array<uint8_t, 3>>& records) {
    Bytes out;
    putLe32(out, 1578);
    out.insert(out.end(), {0xFB, 0x69, 0xF7, 0xDC});
    putLe32(out, 0);
    putLe32(out, 0);
    putLe16(out, 3);
    putLe16(out, 512);
    out.resize(32, 0);
    for (size_t r = 0; r < 512; ++r) {
        std::array<uint8_t, 3> rec = r < records.size() ? records[r] : std::array<uint8_t, 3>{};
        out.insert(out.end(), rec.begin(), rec.end());
    }
    return out;
}

Bytes chainExtra(std::optional<int16_t> code, std::vector<std::pair<uint16_t, int16_t>> items) {
    Bytes out;
    if (code) items.insert(items.begin(), {0xFFFE, *code});
    for (const auto& [tag, value] : items) {
        putLe32(out, 4);
        putLe16(out, tag);
        putLe16(out, static_cast<uint16_t>(value));
    }
    putLe32(out, 0);
    return out;
}

Bytes recordExtra(int16_t number) {
    Bytes out = {0x04, 0, 0, 0, 0x02, 0, 0, 0, 0xFB, 0x69, 0xF7, 0xDC, 0, 0, 0, 0};
    putLe16(out, static_cast<uint16_t>(number));
    putLe16(out, 0);
    return out;
}

HalftoneObject::HalftoneObject(const HalftoneParams& params, LutWithGrid t, Bytes e)
    : table(std::move(t)), extra(std::move(e)) {
    table.lut.grid = table.grid.data();
    if (table.lut.gridHandle != nullptr) table.lut.gridHandle = table.grid.data();
    table.lut.extraBlock = extra.empty() ? nullptr : extra.data();
    created = HalftoneNew(&params, &table.lut, 0, &tableClass, &context);
    if (created != INKDOT_OK) context = nullptr;
}

HalftoneObject::~HalftoneObject() {
    remove();
}

int32_t HalftoneObject::remove() {
    if (context == nullptr) return INKDOT_OK;
    int32_t result = HalftoneDelete(context);
    context = nullptr;
    return result;
}

int32_t HalftoneObject::call(const Bytes& data) {
    int32_t result = HalftoneSetResource(context, data.data(), &next);
    answers.push_back(next);
    return result;
}

int32_t HalftoneObject::runSequence() {
    std::vector<std::array<uint8_t, 3>> records;
    for (int r = 0; r < 512; ++r) records.push_back({uint8_t(r / 2), 0, 0});
    const Bytes steps[4] = {standardList(), gridLevels(evenList(32)), bayerMatrix(16),
                            levelRecordResource(records)};
    for (const Bytes& step : steps) {
        int32_t result = call(step);
        if (result != INKDOT_OK || next == INKDOT_NO_RESOURCE) return result;
    }
    return INKDOT_SEQUENCE_ENDED;
}

}  // namespace inkdot::test
