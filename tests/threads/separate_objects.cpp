// Separate objects on separate threads give the same bytes as the same work
// done one object after another. Built with the thread sanitizer against the
// library's sources and the portable memory primitives (scripts/test), so a
// data race anywhere in the library fails the run as well as a difference.
//
// Each job runs a whole colour-matching sequence from the default pack, then
// a halftone object of one mode over the lookup table it gave, a page of
// lines, and a table image; its result is every byte that came out.
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "frame/workers.h"
#include "fuzz_input.h"
#include "respack/respack.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

std::map<int, Bytes> pack;

struct Job {
    int media, quality, bits, inks;
    uint8_t shape, resolution;  // halftone parameters as the fuzz targets read them
};

constexpr Job kJobs[] = {
    {0, 2, 1, 4, 0x00, 0}, {2, 4, 2, 6, 0x06, 3}, {1, 3, 2, 6, 0x16, 4},
    {0, 1, 1, 6, 0x03, 0}, {1, 3, 2, 4, 0x04, 2}, {2, 4, 2, 6, 0x07, 2},
};

Bytes run(const Job& job) {
    Bytes out;
    auto put = [&](int32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(uint32_t(v) >> (8 * i)));
    };
    CmParams params{};
    CmSelect select{};
    params.keyB = job.media;
    params.numberC = job.inks;
    select.level = 2;
    select.pixelLayout = 1;
    select.numberA = job.quality;
    select.numberB = job.bits;
    select.numberD = 1;
    int32_t next = 0;
    CmContext* cm = nullptr;
    put(inkdot::cmNew(&params, &select, 0, &next, &cm));
    for (int guard = 0; next != -1 && guard < 8; ++guard) {
        const Bytes& r = pack.at(next);
        const int32_t result = inkdot::cmSetResource(cm, r.data(), r.size(), &next);
        put(result);
        if (result != INKDOT_OK) break;
    }
    const CmLut* lut = inkdot::cmGetLut(cm);
    size_t nodes = 1;
    for (int32_t p : lut->points) nodes *= size_t(p);
    out.insert(out.end(), lut->grid, lut->grid + nodes * size_t(lut->channels));

    // A halftone object over the same kind of table (one ink or six), with
    // the resources the fuzz targets use.
    Bytes head = {job.shape, job.resolution, 1, 0, 255, 0};
    fuzz::Input in(head.data(), head.size());
    const HalftoneParams hp = fuzz::halftoneParams(in);
    fuzz::Lut table(hp.inkSet != 0);
    int32_t tableClass = 0;
    HalftoneContext* ht = nullptr;
    const int32_t created = inkdot::halftoneNew(&hp, &table.lut, 0, &tableClass, &ht);
    put(created);
    if (created != INKDOT_OK) {
        put(inkdot::cmDelete(cm));
        return out;
    }
    const Bytes steps[] = {fuzz::standardList(), fuzz::gridLevels(), fuzz::bayerMatrix(),
                           fuzz::levelRecords()};
    next = 0;
    for (const Bytes& step : steps) {
        put(inkdot::halftoneSetResource(ht, step.data(), step.size(), &next));
        if (next == -1) break;
    }
    const size_t stride = 256;
    Bytes src(size_t(hp.maxPixels) * 4), planes(stride * 12);
    for (int line = 0; line < 64; ++line) {
        for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i * 3 + size_t(line) * 5);
        std::fill(planes.begin(), planes.end(), 0);
        put(inkdot::halftone(ht, src.data(), planes.data(), int32_t(stride), 0, hp.maxPixels, 0, 1,
                             line, 0, 0));
        out.insert(out.end(), planes.begin(), planes.end());
    }
    put(inkdot::halftoneDelete(ht));

    HTableContext* image = nullptr;
    int32_t extra = 0, length = 0;
    Bytes bytes(1 << 16);
    put(inkdot::hHalftoneNew(&hp, &table.lut, 0, nullptr, &extra, &image));
    const Bytes& records = pack.at(5300);
    put(inkdot::hHalftoneGetTable(image, records.data(), records.size(), &next, &length,
                                  bytes.data()));
    out.insert(out.end(), bytes.begin(), bytes.begin() + (length > 0 ? length : 0));
    put(inkdot::hHalftoneDelete(image));
    put(inkdot::cmDelete(cm));
    return out;
}

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / ("inkdot_threads_" + std::to_string(getpid()));
    respack::writeDefaultPack(dir);
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == ".bin")
            pack[std::stoi(entry.path().stem().string())] =
                respack::readResource(dir, std::stoi(entry.path().stem().string()));
    fs::remove_all(dir);

    constexpr size_t kCount = sizeof kJobs / sizeof kJobs[0];
    std::vector<Bytes> serial(kCount), parallel(kCount);
    for (size_t i = 0; i < kCount; ++i) serial[i] = run(kJobs[i]);
    for (int round = 0; round < 2; ++round) {
        std::vector<std::thread> threads;
        for (size_t i = 0; i < kCount; ++i)
            threads.emplace_back([&, i] { parallel[i] = run(kJobs[i]); });
        for (std::thread& t : threads) t.join();
        for (size_t i = 0; i < kCount; ++i)
            if (parallel[i] != serial[i] || serial[i].size() < 1000) {
                std::fprintf(stderr, "job %zu: %zu bytes on its thread, %zu one after another\n", i,
                             parallel[i].size(), serial[i].size());
                return 1;
            }
    }
    size_t total = 0;
    for (const Bytes& b : serial) total += b.size();
    std::printf("%zu jobs on %zu threads, twice: the same %zu bytes as one after another\n", kCount,
                kCount, total);
    return 0;
}
