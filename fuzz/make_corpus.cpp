// Writes the seed corpus of every fuzz target from the default resource pack:
// real indexes, colour tables, curve items and halftone resources, framed as
// each target reads its input. The colour and halftone sequences are run
// through the library to learn which resources they ask for, in order.
//
//   make_corpus OUTDIR     (writes OUTDIR/<target>/seed-<n>)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "frame/workers.h"
#include "fuzz_input.h"
#include "halftone_objects.h"
#include "respack/respack.h"

namespace fs = std::filesystem;
using fuzz::Bytes;

namespace {

fs::path pack;
fs::path out;

Bytes resource(int number) {
    return respack::readResource(pack, number);
}

void chunk(Bytes& seed, const Bytes& bytes) {
    fuzz::putLe16(seed, uint16_t(bytes.size()));
    seed.insert(seed.end(), bytes.begin(), bytes.end());
}

void write(const std::string& target, const Bytes& seed) {
    const fs::path dir = out / target;
    fs::create_directories(dir);
    int n = 0;
    while (fs::exists(dir / ("seed-" + std::to_string(n)))) ++n;
    std::ofstream(dir / ("seed-" + std::to_string(n)), std::ios::binary)
        .write(reinterpret_cast<const char*>(seed.data()), std::streamsize(seed.size()));
}

// media, quality, dots, inks, then the tag items as (tag choice, number).
struct CmSeed {
    uint8_t media, quality, dots, inks;
    std::vector<std::pair<uint8_t, int>> items;
};

void colourSeeds() {
    const CmSeed seeds[] = {
        {0, 1, 1, 4, {}},          {2, 4, 2, 6, {}},          {1, 3, 2, 6, {{1, 6013}}},
        {1, 3, 2, 4, {{1, 6012}}}, {0, 2, 1, 4, {{2, 6001}}}, {2, 4, 2, 6, {{2, 6002}}},
        {0, 2, 1, 4, {{3, 6003}}}, {2, 4, 2, 6, {{3, 6004}}}, {1, 3, 2, 4, {{0, -1}}},
    };
    for (const CmSeed& s : seeds) {
        Bytes seed = {s.media, s.quality, s.dots, uint8_t(s.inks == 6 ? 1 : 0), 0x01 | 0x20};
        seed.push_back(uint8_t(s.items.size()));
        std::vector<Bytes> items;
        for (const auto& [tag, number] : s.items) {
            items.push_back(number < 0 ? Bytes(768, 0x80) : resource(number));
            seed.push_back(tag);
            chunk(seed, items.back());
        }
        // The same settings the target derives, run for real to learn the
        // resources asked for.
        CmParams params{};
        CmSelect select{};
        params.keyB = s.media;
        select.numberA = s.quality;
        select.numberB = s.dots;
        params.numberC = s.inks;
        select.keyA = 3;
        select.level = 2;
        select.pixelLayout = 1;
        select.numberD = 1;
        params.colorMode = 2;
        static constexpr int32_t kTags[] = {256, 512, 528, 544};
        struct {
            int32_t count;
            CmTagPair pairs[4];
        } list{};
        for (size_t i = 0; i < items.size(); ++i)
            list.pairs[i] = {kTags[s.items[i].first], items[i].data()};
        list.count = int32_t(items.size());
        params.tags = list.count ? reinterpret_cast<const CmTagList*>(&list) : nullptr;
        int32_t next = -1;
        CmContext* cm = nullptr;
        if (inkdot::cmNew(&params, &select, 0, &next, &cm) != INKDOT_OK) continue;
        bool ok = true;
        for (int asked = 0; next != -1 && asked < 8 && ok; ++asked) {
            const Bytes r = resource(next);
            chunk(seed, r);
            ok = inkdot::cmSetResource(cm, r.data(), r.size(), &next) == INKDOT_OK;
        }
        inkdot::cmDelete(cm);
        std::printf("cm seed %u/%u/%u/%d with %zu items: %s\n", s.media, s.quality, s.dots, s.inks,
                    items.size(), ok ? "complete" : "failed");
        write("cm_sequence", seed);
    }
    for (int number : {0, 1900, 3900}) {
        Bytes seed = {uint8_t(0x40 | 0x04)};
        const Bytes r = resource(number);
        seed.insert(seed.end(), r.begin(), r.end());
        write("text_index", seed);
    }
}

// Two lines: a ramp over the whole width and a stretch in the middle.
Bytes rampLines(const HalftoneParams& params, int maxPixels) {
    Bytes lines;
    for (int line = 0; line < 2; ++line) {
        const int count = line == 0 ? maxPixels : maxPixels / 2;
        fuzz::putLe16(lines, uint16_t(count + 2));
        fuzz::putLe16(lines, uint16_t((line == 0 ? 0 : maxPixels / 4) + 2));
        lines.push_back(0);
        lines.push_back(1);
        fuzz::putLe16(lines, uint16_t(line));
        Bytes pixels(size_t(count) * (params.inkSet ? 4 : 1));
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 255 / pixels.size());
        chunk(lines, pixels);
    }
    return lines;
}

// shape, resolution index, inputScale, maxPixels; the list resource.
struct HtSeed {
    uint8_t shape, resolution;
    int inputScale, maxPixels, list;
};

void halftoneSeeds() {
    const HtSeed seeds[] = {
        {0x00, 0, 0, 64, 5001},  {0x04, 2, 0, 96, 5001}, {0x06, 3, 0, 64, 5001},
        {0x01, 0, 0, 64, 5003},  {0x03, 0, 0, 64, 5002}, {0x07, 2, 0, 64, 5002},
        {0x16, 4, -1, 64, 5001}, {0x06, 4, 0, 64, 5001}, {0x0F, 0, 0, 64, 5007},
        {0x03, 1, 2, 64, 5003},
    };
    for (const HtSeed& s : seeds) {
        Bytes head = {s.shape, s.resolution};
        fuzz::putLe16(head, uint16_t(s.inputScale + 1));
        fuzz::putLe16(head, uint16_t(s.maxPixels - 1));
        fuzz::Input in(head.data(), head.size());
        const HalftoneParams params = fuzz::halftoneParams(in);
        Bytes seed = head;
        seed.push_back(0);  // no extra block
        fuzz::Lut table(params.inkSet != 0);
        int32_t tableClass = 0;
        HalftoneContext* ht = nullptr;
        if (inkdot::halftoneNew(&params, &table.lut, 0, &tableClass, &ht) != INKDOT_OK) continue;
        int32_t next = s.list;
        bool ok = true;
        for (int asked = 0; next != -1 && asked < 8 && ok; ++asked) {
            const Bytes r = resource(next);
            chunk(seed, r);
            ok = inkdot::halftoneSetResource(ht, r.data(), r.size(), &next) == INKDOT_OK;
        }
        inkdot::halftoneDelete(ht);
        std::printf("halftone seed shape %02x list %d: %s\n", s.shape, s.list,
                    ok ? "complete" : "failed");
        const Bytes lines = rampLines(params, s.maxPixels);
        seed.insert(seed.end(), lines.begin(), lines.end());
        write("halftone_sequence", seed);
    }
    // One input for each prepared object of halftone_line, read as it comes.
    const std::vector<fuzz::PreparedObject>& objects = fuzz::preparedObjects();
    for (size_t i = 0; i < objects.size(); ++i) {
        Bytes seed;
        fuzz::putLe16(seed, uint16_t(i));
        seed.push_back(0);
        const HalftoneParams params = fuzz::objectParams(objects[i].shape());
        const Bytes lines = rampLines(params, fuzz::kObjectMaxPixels);
        seed.insert(seed.end(), lines.begin(), lines.end());
        write("halftone_line", seed);
    }
    for (uint8_t shape : {0x04, 0x07, 0x00, 0x25}) {
        Bytes seed = {shape};
        if (shape & 32) chunk(seed, Bytes(768, 0x40));
        const Bytes r = resource(shape & 2 ? 5300 : 5301);
        seed.insert(seed.end(), r.begin(), r.end());
        write("table_image", seed);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus OUTDIR\n");
        return 2;
    }
    out = argv[1];
    pack = fs::temp_directory_path() / ("inkdot_corpus_pack_" + std::to_string(getpid()));
    respack::writeDefaultPack(pack);
    colourSeeds();
    halftoneSeeds();
    fs::remove_all(pack);
    return 0;
}
