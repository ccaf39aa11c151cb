// The progress bar of a page on standard error: lines done and megapixels a
// second, redrawn a few times a second, and only when standard error is a
// terminal (and the user did not ask for quiet).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace inkdot::cli {

class Progress {
public:
    Progress(int lines, int64_t pixelsPerLine, bool enabled);
    ~Progress() { finish(); }

    void update(int linesDone);
    // Clears the bar; later output starts on a clean line.
    void finish();

    static bool terminalAttached();

private:
    void draw(int linesDone);

    int lines_;
    int64_t pixelsPerLine_;
    bool enabled_, drawn_ = false;
    std::chrono::steady_clock::time_point start_, lastDraw_;
};

// "1.23 s", "450 ms".
std::string formatSeconds(double seconds);

} // namespace inkdot::cli
