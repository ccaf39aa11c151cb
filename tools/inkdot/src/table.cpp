// `inkdot table`: the halftone table image the library packs for a caller
// that halftones on its own (the grid, the axis tables, the level entries).
#include <array>
#include <climits>
#include <cstdio>
#include <fstream>

#include "chart.h"
#include "commands.h"
#include "failure.h"
#include "sequence.h"

namespace inkdot::cli {

void runTable(const PrintSettings& st, const std::filesystem::path& output, int32_t records) {
    Pack pack(st.pack);
    const Selection sel = resolveSelection(pack, st);
    const bool six = st.inks != InkSet::Black;
    CmParams params;
    CmSelect select;
    colourMatchingRecords(sel, st, 6, false, nullptr, params, select);
    const std::string text = "media " + sel.mediaName + ", quality " + sel.qualityName + ", " +
                             std::to_string(st.bits) + "-bit dots, " + (six ? "six inks" : "one ink");
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
                    (r.value("description", "").find("one ink") != std::string::npos) != six && number < 0)
                    number = r["number"].get<int32_t>();
        if (number < 0) {
            H_HalftoneDelete(table);
            throw Failure(kExitPack, "the pack has no level records for two-bit dots; name them with --records");
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
    if (r != INKDOT_OK) throw Failure(kExitLibrary, "H_HalftoneGetTable failed with " + resultText(r) + ": " + text);
    if (deleted != INKDOT_OK) throw Failure(kExitLibrary, "H_HalftoneDelete failed with " + resultText(deleted));
    if (length < 0 || size_t(length) > image.size())
        throw Failure(kExitLibrary, "H_HalftoneGetTable reported an image of " + std::to_string(length) + " bytes");
    cm.close();

    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), length);
    if (!out) throw Failure(kExitOutput, "cannot write " + output.string());
    std::printf("%s: halftone table image, %d bytes: grid section %zu bytes (%s), three axis tables%s\n",
                output.c_str(), length, gridBytes,
                six ? (std::to_string(n0) + " x " + std::to_string(n0) + " x " + std::to_string(n0) + " nodes of six inks").c_str()
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

} // namespace inkdot::cli
