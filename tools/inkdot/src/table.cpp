// `inkdot table`: the halftone table image the library packs for a caller
// that halftones on its own (the grid, the axis tables, the level entries).
#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdio>
#include <fstream>

#include "chart.h"
#include "commands.h"
#include "failure.h"
#include "image.h"
#include "sequence.h"

namespace inkdot::cli {

namespace {

// A picture of a table image, its sections top to bottom on white with a
// grey rule between them: the grid section's bytes, 256 to a row, each a
// 3 x 3 square from white (0) to black (255); the three axis tables as
// curves (entry across, value up, each on its own maximum); the level
// entries of two-bit dots as four bands, one a byte of the entry.
Image tablePicture(const std::vector<uint8_t>& image, size_t length) {
    constexpr int kWidth = 768, kRule = 4;
    const auto le32 = [&](size_t at) {
        return at + 4 > length ? 0u
                               : uint32_t(image[at]) | uint32_t(image[at + 1]) << 8 |
                                     uint32_t(image[at + 2]) << 16 | uint32_t(image[at + 3]) << 24;
    };
    const size_t gridLength = std::min<size_t>(le32(2), length - std::min<size_t>(length, 6));
    const size_t gridRows = (gridLength + 255) / 256;
    size_t axesAt = 6 + gridLength;
    const bool levels = length >= axesAt + 3 * (4 + 512) + 4 + 4096;
    const int height = int(gridRows) * 3 + kRule + 128 + (levels ? kRule + 4 * 16 : 0);
    Image pic;
    pic.width = kWidth, pic.height = height, pic.space = ColourSpace::Rgb;
    pic.pixels.assign(size_t(kWidth) * size_t(height) * 3, 255);
    auto set = [&](int x, int y, uint8_t v) {
        if (x < 0 || y < 0 || x >= kWidth || y >= height) return;
        uint8_t* p = &pic.pixels[(size_t(y) * kWidth + size_t(x)) * 3];
        p[0] = p[1] = p[2] = v;
    };
    auto rule = [&](int y) {
        for (int r = 1; r < kRule - 1; ++r)
            for (int x = 0; x < kWidth; ++x) set(x, y + r, 190);
    };
    for (size_t i = 0; i < gridLength; ++i)
        for (int d = 0; d < 9; ++d)
            set(int(i % 256) * 3 + d % 3, int(i / 256) * 3 + d / 3, uint8_t(255 - image[6 + i]));
    int y = int(gridRows) * 3;
    rule(y);
    y += kRule;
    for (int k = 0; k < 3; ++k, axesAt += 4 + 512) {
        if (axesAt + 4 + 512 > length) break;
        unsigned top = 1;
        for (int e = 0; e < 256; ++e)
            top = std::max(top, unsigned(image[axesAt + 4 + 2 * e]) |
                                    unsigned(image[axesAt + 5 + 2 * e]) << 8);
        for (int e = 0; e < 256; ++e) {
            const unsigned v =
                unsigned(image[axesAt + 4 + 2 * e]) | unsigned(image[axesAt + 5 + 2 * e]) << 8;
            set(k * 256 + e, y + 127 - int(v * 127 / top), 0);
        }
    }
    y += 128;
    if (levels) {
        rule(y);
        y += kRule;
        const size_t at = axesAt + 4;
        for (int lane = 0; lane < 4; ++lane)
            for (int x = 0; x < kWidth; ++x)
                for (int r = 0; r < 16; ++r)
                    set(x, y + lane * 16 + r,
                        uint8_t(255 - image[at + size_t(x * 1024 / kWidth) * 4 + size_t(lane)]));
    }
    return pic;
}

}  // namespace

void runTable(const PrintSettings& st, const std::filesystem::path& output, int32_t records,
              bool raw) {
    std::string ext = output.extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (!raw && ext != ".png")
        throw Failure(kExitUsage, "table output " + output.string() +
                                      " is not a .png: name a FILE.png for a picture of "
                                      "the table image, or give --raw for its bytes");
    Pack pack(st.pack);
    const Selection sel = resolveSelection(pack, st, {6});
    const bool six = st.inks != InkSet::Black;
    CmParams params;
    CmSelect select;
    colourMatchingRecords(sel, st, 6, false, nullptr, params, select);
    const std::string text = "media " + sel.mediaName + ", quality " + sel.qualityName + ", " +
                             std::to_string(st.bits) + "-bit dots, " +
                             (six ? "six inks" : "one ink");
    ColourMatching cm(pack, params, select, Role::ColourTable4d, text);
    const CmLut& lut = cm.lut();

    HalftoneParams hp{};
    hp.method = 1;
    hp.inkSet = six ? 3 : 0;
    hp.inputFormat = six ? 4 : 0;
    hp.xResolution = sel.xResolution;
    hp.yResolution = sel.yResolution;
    hp.outputBits = st.bits;
    hp.maxPixels = 1;
    hp.version = INKDOT_HALFTONE_VERSION;
    // The axis curves: every input value on its own place of the axis.
    std::array<uint8_t, 768> curves;
    for (size_t i = 0; i < curves.size(); ++i) curves[i] = uint8_t(i % 256);
    int32_t extraValue = INT32_MIN;
    HTableContext* table = nullptr;
    if (int32_t r = H_HalftoneNew(&hp, &lut, 0, curves.data(), &extraValue, &table); r != INKDOT_OK)
        throw Failure(kExitLibrary, "H_HalftoneNew failed with " + resultText(r) + ": " + text);

    // Level records for two-bit dots: the ones the table's extra block
    // names, else the pack's own for separated inks or one ink.
    Bytes none(32 + 3 * 512 + 64, 0);
    const uint8_t* recordBytes = none.data();
    std::string recordText;
    if (st.bits == 2) {
        int32_t number = records >= 0 ? records : extraValue != INT32_MIN ? extraValue : -1;
        if (number < 0)
            for (const auto& r : pack.manifest()["resources"])
                if (r.value("kind", "") == "level-records" &&
                    (r.value("description", "").find("one ink") != std::string::npos) != six &&
                    number < 0)
                    number = r["number"].get<int32_t>();
        if (number < 0) {
            H_HalftoneDelete(table);
            throw Failure(
                kExitPack,
                "the pack has no level records for two-bit dots; name them with --records");
        }
        try {
            recordBytes = pack.resource(number, Role::LevelRecords).data();
        } catch (...) {
            H_HalftoneDelete(table);
            throw;
        }
        recordText = ", level entries from " + pack.describe(number);
    }

    const int n0 = lut.points[0];
    const size_t gridBytes = six ? size_t(n0) * size_t(n0) * size_t(n0) * 6 : size_t(lut.points[2]);
    std::vector<uint8_t> image(1554 + 4100 + gridBytes + 64, 0);
    int32_t next = 0, length = 0;
    const int32_t r = H_HalftoneGetTable(table, recordBytes, &next, &length, image.data());
    const int32_t deleted = H_HalftoneDelete(table);
    if (r != INKDOT_OK)
        throw Failure(kExitLibrary,
                      "H_HalftoneGetTable failed with " + resultText(r) + ": " + text);
    if (deleted != INKDOT_OK)
        throw Failure(kExitLibrary, "H_HalftoneDelete failed with " + resultText(deleted));
    if (length < 0 || size_t(length) > image.size())
        throw Failure(kExitLibrary, "H_HalftoneGetTable reported an image of " +
                                        std::to_string(length) + " bytes");
    cm.close();

    if (raw) {
        std::ofstream out(output, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image.data()), length);
        if (!out) throw Failure(kExitOutput, "cannot write " + output.string());
    } else {
        writeImage(output, tablePicture(image, size_t(length)));
    }
    std::printf(
        "%s: %s of the halftone table image, %d bytes: grid section %zu bytes (%s), three axis "
        "tables%s\n",
        output.c_str(), raw ? "the bytes" : "a picture", length, gridBytes,
        six ? (std::to_string(n0) + " x " + std::to_string(n0) + " x " + std::to_string(n0) +
               " nodes of six inks")
                  .c_str()
            : "the single-channel curve at the grid levels",
        st.bits == 2 ? (", 1024 level entries" + recordText).c_str() : "");
    std::printf("  colour table %s\n", pack.describe(cm.table()).c_str());
}

void runChart(const std::filesystem::path& output, int width, int height) {
    if (width < 16 || height < 16 || width > 20000 || height > 20000)
        throw Failure(kExitUsage, "the chart is 16 to 20000 pixels each way");
    writeImage(output, drawChart(width, height));
    std::printf("%s: sample chart, %d x %d pixels\n", output.c_str(), width, height);
}

}  // namespace inkdot::cli
