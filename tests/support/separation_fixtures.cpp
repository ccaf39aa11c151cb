#include "support/separation_fixtures.h"

#include <algorithm>
#include <string>

#include "frame/mem_block.h"

namespace inkdot::test {

SeparationFixture::SeparationFixture(int32_t outputBits, int32_t maxPixels) : base(maxPixels) {
    HalftoneParams& p = params();
    p.inkSet = 3;
    p.inputFormat = 4;
    p.outputBits = outputBits;
    context().errorLineCount = 3;
    for (int c = 0; c < 256; ++c) setQuantiser(uint8_t(c), uint8_t(c / 8), 255);
    table.assign(size_t(32 * 32 * 32 * 32) * kernels::kSeparationEntryBytes, 0);
    lines_[0].assign(base.errorLine().size(), 0);
    lines_[1].assign(base.errorLine().size(), 0);
    attach();
}

void SeparationFixture::attach() {
    BlockTable& b = context().blocks;
    setView(b[kSeparationTable], table.data(), nullptr, int32_t(table.size()));
    setView(b[kQuantiser], quantiser.data(), nullptr, 512);
    setView(b[kLevelRecords], records.data(), nullptr, int32_t(records.size() * 8));
    setView(b[kErrorLineB], lines_[0].data(), nullptr, int32_t(lines_[0].size() * 2));
    setView(b[kErrorLineC], lines_[1].data(), nullptr, int32_t(lines_[1].size() * 2));
    kernels::KernelView& v = view();
    v.separationTable = table.data();
    v.quantiser = quantiser.data();
    v.levelRecords = records.data();
    v.errorLines[1] = lines_[0].data();
    v.errorLines[2] = lines_[1].data();
}

void SeparationFixture::setMatrix(int32_t width, int32_t height, std::vector<int32_t> values) {
    base.setMatrix(width, height, std::move(values));
    attach();
}

void SeparationFixture::setEntry(const Levels& k, const Amounts& amounts) {
    const size_t index = size_t(((k[0] * 32 + k[1]) * 32 + k[2]) * 32 + k[3]);
    std::copy(amounts.begin(), amounts.end(),
              table.begin() + ptrdiff_t(index * kernels::kSeparationEntryBytes));
}

int16_t& SeparationFixture::entry(int line, int32_t x) {
    return errorLine(line)[size_t(kernels::kErrorLineGuard + x)];
}

void SeparationFixture::clearErrorLines() {
    for (int line = 0; line < 3; ++line)
        std::fill(errorLine(line).begin(), errorLine(line).end(), 0);
}

int32_t SeparationFixture::run(kernels::Kernel& kernel, const std::vector<uint8_t>& input,
                               int32_t pixelCount, int32_t startX, int32_t lineNumber,
                               int32_t bitOffset, int32_t pairFlag, int32_t enable) {
    return kernel(view(), state(), input.data(), planes.data(), kPlaneStride, bitOffset, pixelCount,
                  startX, enable, lineNumber, pairFlag, 0);
}

bool SeparationFixture::dot(int plane, int32_t slot) const {
    const uint8_t byte = planes[size_t(plane * kPlaneStride + slot / 8)];
    return (byte >> (7 - slot % 8) & 1) != 0;
}

uint32_t SeparationFixture::code(int plane, int32_t slot) const {
    const uint8_t byte = planes[size_t(plane * kPlaneStride + slot / 4)];
    return byte >> (6 - 2 * (slot % 4)) & 3u;
}

std::string SeparationFixture::dots(int plane, int32_t count) const {
    std::string s;
    for (int32_t i = 0; i < count; ++i) s += dot(plane, i) ? 'x' : '.';
    return s;
}

std::string SeparationFixture::codes(int plane, int32_t count) const {
    std::string s;
    for (int32_t i = 0; i < count; ++i) s += char('0' + code(plane, i));
    return s;
}

std::vector<uint8_t> repeatPixel(const std::array<uint8_t, 4>& c, int32_t count) {
    std::vector<uint8_t> input;
    for (int32_t i = 0; i < count; ++i) input.insert(input.end(), c.begin(), c.end());
    return input;
}

std::array<uint8_t, 4> channelsOf(const Levels& k) {
    return {uint8_t(8 * k[0] + 1), uint8_t(8 * k[1] + 1), uint8_t(8 * k[2] + 1),
            uint8_t(8 * k[3] + 1)};
}

}  // namespace inkdot::test
