#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace inkdot::cli {

Progress::Progress(int64_t lines, int64_t pixelsPerLine, bool enabled, int pages)
    : lines_(lines),
      pixelsPerLine_(pixelsPerLine),
      pages_(pages),
      enabled_(enabled && lines > 0),
      start_(std::chrono::steady_clock::now()),
      lastDraw_(start_) {}

bool Progress::terminalAttached() {
    return isatty(STDERR_FILENO) == 1;
}

void Progress::update(int64_t linesDone) {
    if (!enabled_) return;
    std::lock_guard<std::mutex> hold(mutex_);
    done_ = linesDone;
    drawLocked(false);
}

void Progress::advance(int64_t lines) {
    if (!enabled_) return;
    std::lock_guard<std::mutex> hold(mutex_);
    done_ += lines;
    drawLocked(false);
}

void Progress::pageDone() {
    if (!enabled_) return;
    std::lock_guard<std::mutex> hold(mutex_);
    ++pagesDone_;
    drawLocked(true);
}

void Progress::drawLocked(bool force) {
    const auto now = std::chrono::steady_clock::now();
    if (!force && done_ < lines_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double mpx = seconds > 0 ? double(done_) * double(pixelsPerLine_) / seconds / 1e6 : 0.0;
    constexpr int kWidth = 30;
    const int filled = int(done_ * kWidth / lines_);
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kWidth] = 0;
    if (pages_ > 1)
        std::fprintf(stderr, "\r  [%s] %3d%%  %d/%d pages  %.1f Mpx/s ", bar,
                     int(done_ * 100 / lines_), pagesDone_, pages_, mpx);
    else
        std::fprintf(stderr, "\r  [%s] %3d%%  %lld/%lld lines  %.1f Mpx/s ", bar,
                     int(done_ * 100 / lines_), static_cast<long long>(done_),
                     static_cast<long long>(lines_), mpx);
    std::fflush(stderr);
    drawn_ = true;
}

void Progress::finish() {
    std::lock_guard<std::mutex> hold(mutex_);
    if (!drawn_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    drawn_ = false;
}

std::string formatSeconds(double seconds) {
    char buf[32];
    if (seconds < 1.0)
        std::snprintf(buf, sizeof buf, "%.0f ms", seconds * 1000.0);
    else
        std::snprintf(buf, sizeof buf, "%.2f s", seconds);
    return buf;
}

}  // namespace inkdot::cli
