#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace inkdot::cli {

Progress::Progress(int lines, int64_t pixelsPerLine, bool enabled)
    : lines_(lines), pixelsPerLine_(pixelsPerLine), enabled_(enabled && lines > 0),
      start_(std::chrono::steady_clock::now()), lastDraw_(start_) {}

bool Progress::terminalAttached() { return isatty(STDERR_FILENO) == 1; }

void Progress::update(int linesDone) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (linesDone < lines_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    draw(linesDone);
}

void Progress::draw(int linesDone) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double mpx = seconds > 0 ? double(linesDone) * double(pixelsPerLine_) / seconds / 1e6 : 0.0;
    constexpr int kWidth = 30;
    const int filled = int(int64_t(linesDone) * kWidth / lines_);
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kWidth] = 0;
    std::fprintf(stderr, "\r  [%s] %3d%%  %d/%d lines  %.1f Mpx/s ", bar, int(int64_t(linesDone) * 100 / lines_),
                 linesDone, lines_, mpx);
    std::fflush(stderr);
    drawn_ = true;
}

void Progress::finish() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    drawn_ = false;
}

std::string formatSeconds(double seconds) {
    char buf[32];
    if (seconds < 1.0) std::snprintf(buf, sizeof buf, "%.0f ms", seconds * 1000.0);
    else std::snprintf(buf, sizeof buf, "%.2f s", seconds);
    return buf;
}

} // namespace inkdot::cli
