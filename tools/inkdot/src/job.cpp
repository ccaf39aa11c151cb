#include "job.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "driver.h"
#include "failure.h"
#include "pack.h"

namespace inkdot::cli {
namespace {

namespace fs = std::filesystem;

struct PageTask {
    InputPage page;
    fs::path outDir;
    uint64_t memory = 0;  // the estimate, bytes
    std::optional<PrintResult> result;
    int status = kExitOk;
    std::string failure;
};

// What the system can give us now: MemAvailable, else the free pages.
uint64_t availableMemory() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    uint64_t kb = 0;
    std::string unit;
    while (meminfo >> key >> kb >> unit)
        if (key == "MemAvailable:") return kb * 1024;
    const long pages = sysconf(_SC_AVPHYS_PAGES), size = sysconf(_SC_PAGESIZE);
    return pages > 0 && size > 0 ? uint64_t(pages) * uint64_t(size) : uint64_t(4) << 30;
}

// A page's memory: the decoded image through reading, colour and scaling
// (the file's samples, RGB, ink amounts and a turned copy: 16 bytes a pixel
// is generous), or a PDF page's bands (the renderer's image and ink
// amounts, under 64 MB), and the page's own buffers (plane files, preview).
uint64_t estimateMemory(const InputPage& page) {
    constexpr uint64_t kPageBuffers = uint64_t(32) << 20;
    if (page.kind == FileKind::Pdf) return kPageBuffers + (uint64_t(64) << 20);
    return kPageBuffers + imagePixelsHint(page.file, page.index) * 16;
}

// The folder name of each file: its name without the extension, with the
// extension kept where two files share a stem, and numbered where even the
// names are the same (files of one name from several folders).
std::vector<std::string> folderNames(const std::vector<fs::path>& files) {
    std::map<std::string, int> stems;
    for (const fs::path& f : files) ++stems[f.stem().string()];
    std::vector<std::string> names;
    std::set<std::string> taken;
    for (const fs::path& f : files) {
        std::string name = stems[f.stem().string()] > 1 ? f.filename().string() : f.stem().string();
        if (name.empty() || name == "." || name == "..") name = "file";
        std::string unique = name;
        for (int n = 2; !taken.insert(unique).second; ++n) unique = name + "-" + std::to_string(n);
        names.push_back(unique);
    }
    return names;
}

std::string pageName(const InputPage& p) {
    return p.file.string() + (p.pagesInFile > 1 ? " page " + std::to_string(p.index + 1) : "");
}

}  // namespace

int availableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

int runPrintJob(const PrintSettings& st, const JobOptions& options, FILE* out, FILE* err) {
    const auto start = std::chrono::steady_clock::now();
    // The pages, file by file; a file that cannot be opened fails alone.
    std::vector<PageTask> tasks;
    std::vector<std::pair<int, std::string>> fileFailures;
    std::vector<std::vector<InputPage>> perFile;
    for (const fs::path& file : options.files) {
        try {
            perFile.push_back(listPages(file, options.pages));
        } catch (const Failure& f) {
            perFile.emplace_back();
            fileFailures.emplace_back(f.status(), f.what());
        }
    }
    const std::vector<std::string> folders = folderNames(options.files);
    size_t pageCount = 0;
    for (const auto& pages : perFile) pageCount += pages.size();
    for (size_t i = 0; i < perFile.size(); ++i)
        for (const InputPage& p : perFile[i]) {
            PageTask t;
            t.page = p;
            const fs::path page = "page-" + std::to_string(p.index + 1);
            if (pageCount == 1 && options.files.size() == 1)
                t.outDir = st.outDir;
            else if (options.files.size() == 1)
                t.outDir = st.outDir / page;
            else if (p.pagesInFile > 1)
                t.outDir = st.outDir / folders[i] / page;
            else
                t.outDir = st.outDir / folders[i];
            t.memory = estimateMemory(p);
            tasks.push_back(std::move(t));
        }

    // One page alone prints as it always has: its own bar, its summary,
    // its failure and exit status.
    if (tasks.size() == 1 && fileFailures.empty()) {
        PrintSettings one = st;
        one.outDir = tasks[0].outDir;
        const PrintResult result = printPage(one, tasks[0].page, nullptr);
        if (!st.quiet) writeSummary(result, out);
        return kExitOk;
    }
    if (tasks.empty()) {
        for (const auto& [status, message] : fileFailures)
            std::fprintf(err, "inkdot: %s\n", message.c_str());
        return fileFailures.empty() ? kExitUsage : fileFailures.front().first;
    }

    // The settings and pack once, before any page: their failures are every
    // page's, and they give the page's lines for the bar.
    int lines = 0, width = 0;
    {
        Pack pack(st.pack);
        const Selection sel = resolveSelection(pack, st);
        const PageSize size = parsePageSize(st.page);
        lines = deviceLength(size.heightMm, sel.yResolution);
        width = deviceLength(size.widthMm, sel.xResolution);
    }
    const int threads =
        std::clamp(options.threads > 0 ? options.threads : availableCores(), 1, int(tasks.size()));
    const uint64_t budget = availableMemory() / 2;
    Progress progress(int64_t(lines) * int64_t(tasks.size()), width,
                      !st.quiet && Progress::terminalAttached(), int(tasks.size()));

    std::mutex mutex;
    std::condition_variable freed;
    size_t next = 0;
    uint64_t inUse = 0;
    int running = 0;
    bool stop = false;  // a failure every page would meet
    auto worker = [&] {
        for (;;) {
            PageTask* task = nullptr;
            {
                std::unique_lock<std::mutex> hold(mutex);
                // Pages start in order; the next waits until its memory fits.
                freed.wait(hold, [&] {
                    return stop || next >= tasks.size() || running == 0 ||
                           inUse + tasks[next].memory <= budget;
                });
                if (stop || next >= tasks.size()) return;
                task = &tasks[next++];
                inUse += task->memory;
                ++running;
            }
            try {
                PrintSettings one = st;
                one.outDir = task->outDir;
                task->result = printPage(one, task->page, &progress);
            } catch (const Failure& f) {
                task->status = f.status();
                task->failure = f.what();
            } catch (const std::exception& e) {
                task->status = 1;
                task->failure = e.what();
            }
            progress.pageDone();
            {
                std::lock_guard<std::mutex> hold(mutex);
                inUse -= task->memory;
                --running;
                if (task->status == kExitUsage || task->status == kExitPack) stop = true;
            }
            freed.notify_all();
        }
    };
    std::vector<std::thread> pool;
    for (int i = 0; i < threads; ++i) pool.emplace_back(worker);
    for (std::thread& t : pool) t.join();
    progress.finish();

    // Each page's figures in order, then the totals.
    PrintResult total;
    double cpu = 0;
    size_t printed = 0, failed = fileFailures.size(), skipped = 0;
    std::string lastFailure;
    int status = fileFailures.empty() ? kExitOk : fileFailures.front().first;
    for (PageTask& t : tasks) {
        if (t.result) {
            ++printed;
            const PrintResult& r = *t.result;
            if (!st.quiet) writeSummary(r, out);
            cpu += r.cpuSeconds;
            total.bits = r.bits;
            total.pagePixels += r.pagePixels;
            for (const PlaneResult& p : r.planes) {
                auto same = std::find_if(total.planes.begin(), total.planes.end(),
                                         [&](const PlaneResult& q) { return q.ink == p.ink; });
                if (same == total.planes.end()) same = total.planes.insert(same, {p.ink, {}, {}});
                PlaneResult& sum = *same;
                sum.counts.small += p.counts.small, sum.counts.medium += p.counts.medium,
                    sum.counts.large += p.counts.large;
                sum.covered += p.covered;
            }
        } else if (!t.failure.empty()) {
            ++failed;
            // A failure every page meets is said once.
            if (t.failure != lastFailure)
                std::fprintf(err, "inkdot: %s: %s\n", pageName(t.page).c_str(), t.failure.c_str());
            lastFailure = t.failure;
            if (status == kExitOk) status = t.status;
        } else {
            ++skipped;
        }
    }
    for (const auto& [s, message] : fileFailures)
        std::fprintf(err, "inkdot: %s\n", message.c_str());
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!st.quiet) {
        std::fprintf(out, "inkdot: the job: %zu page%s of %zu file%s printed", printed,
                     printed == 1 ? "" : "s", options.files.size(),
                     options.files.size() == 1 ? "" : "s");
        if (failed) std::fprintf(out, ", %zu failed", failed);
        if (skipped) std::fprintf(out, ", %zu not started after a failure", skipped);
        std::fprintf(out, "\n");
        if (printed) {
            std::fprintf(out, "  all pages together (coverage of the pages' area):\n");
            writeInkTable(total, out);
        }
        std::fprintf(out,
                     "  time %s (processor %s on %d thread%s) for %.1f Mpx, %.1f Mpx/s; into %s\n",
                     formatSeconds(wall).c_str(), formatSeconds(cpu).c_str(), threads,
                     threads == 1 ? "" : "s", double(total.pagePixels) / 1e6,
                     double(total.pagePixels) / 1e6 / std::max(1e-9, wall), st.outDir.c_str());
    }
    if (status != kExitOk)
        std::fprintf(err, "inkdot: %zu of %zu page%s failed\n", failed + skipped,
                     pageCount + fileFailures.size(),
                     pageCount + fileFailures.size() == 1 ? "" : "s");
    return status;
}

}  // namespace inkdot::cli
