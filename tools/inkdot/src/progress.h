// The progress bar of a print job on standard error: lines done and
// megapixels a second, redrawn a few times a second, and only when standard
// error is a terminal (and the user did not ask for quiet). One bar serves a
// whole job: the pages printing at once on several threads all advance it,
// and it says how many pages are done.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace inkdot::cli {

class Progress {
public:
    // `lines` of `pixelsPerLine` in all, over `pages` pages.
    Progress(int64_t lines, int64_t pixelsPerLine, bool enabled, int pages = 1);
    ~Progress() { finish(); }

    // Sets the lines done (one page printing alone).
    void update(int64_t linesDone);
    // Adds lines done; safe from any thread.
    void advance(int64_t lines);
    // A page is finished (or failed); safe from any thread.
    void pageDone();
    // Clears the bar; later output starts on a clean line.
    void finish();
    bool enabled() const { return enabled_; }

    static bool terminalAttached();

private:
    void drawLocked(bool force);

    std::mutex mutex_;
    int64_t lines_, pixelsPerLine_, done_ = 0;
    int pages_, pagesDone_ = 0;
    bool enabled_, drawn_ = false;
    std::chrono::steady_clock::time_point start_, lastDraw_;
};

// "1.23 s", "450 ms".
std::string formatSeconds(double seconds);

}  // namespace inkdot::cli
