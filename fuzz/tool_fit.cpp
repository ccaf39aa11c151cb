// The page-fitting arithmetic of the inkdot command: page sizes and printed
// sizes as the options give them, and the printed size of a picture of any
// width and height (pixels, or a PDF page's points) at any dpi and scale. An
// unusable option must end in a Failure with the usage exit status; a
// usable one must give a size that is a number (not NaN) and not negative,
// and a placement whose box of device pixels lies inside the page.
//
// Input: flags, width and height (eight bytes each, any double), dpi and
// scale (eight bytes each), margin (eight bytes), then the page text and the
// size text as chunks. The flags also pick the resolution and the turn.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "failure.h"
#include "fuzz_input.h"
#include "settings.h"

using inkdot::cli::Failure;

namespace {

double number(fuzz::Input& in) {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= uint64_t(in.byte()) << (8 * i);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::string text(fuzz::Input& in) {
    const fuzz::Bytes bytes = in.chunk();
    return std::string(bytes.begin(), bytes.end());
}

void expectUsage(const Failure& failure) {
    if (failure.status() == inkdot::cli::kExitUsage) return;
    std::fprintf(stderr, "failure with status %d: %s\n", failure.status(), failure.what());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t flags = in.byte();
    const double width = number(in), height = number(in);
    inkdot::cli::PrintSettings settings;
    settings.dpi = (flags & 1) ? number(in) : 0;
    settings.scalePercent = (flags & 2) ? number(in) : 0;
    const double margin = number(in);
    constexpr int kResolutions[][2] = {
        {2880, 720}, {1440, 720}, {720, 720}, {720, 360}, {360, 720}};
    const int* resolution = kResolutions[(flags >> 3) % 5];
    constexpr const char* kTurns[] = {"auto", "yes", "no"};
    settings.rotate = kTurns[(flags >> 6) % 3];
    const std::string page = text(in);
    settings.size = text(in);
    inkdot::cli::PageSize pageSize;
    bool pageUsable = false;
    try {
        pageSize = inkdot::cli::parsePageSize(page);
        if (!(pageSize.widthMm >= 5 && pageSize.heightMm >= 5 && pageSize.widthMm <= 2000 &&
              pageSize.heightMm <= 2000))
            std::abort();
        pageUsable = true;
    } catch (const Failure& failure) {
        expectUsage(failure);
    }
    double w = 0, h = 0;
    inkdot::cli::parseSizeMm(settings.size, w, h);
    // The picture's own size is a count of pixels or a page's points: a
    // positive, finite number.
    if (!(width > 0 && height > 0 && std::isfinite(width) && std::isfinite(height))) return 0;
    try {
        const auto sized =
            inkdot::cli::printedSizeMm(settings, width, height, (flags & 4) ? 72.0 : 0.0);
        if (sized && (!(sized->first >= 0) || !(sized->second >= 0))) {
            std::fprintf(stderr, "printed size %g x %g mm\n", sized->first, sized->second);
            std::abort();
        }
    } catch (const Failure& failure) {
        expectUsage(failure);
    }
    // The command places a picture only on a usable page with a margin that
    // leaves some of it.
    if (!pageUsable || !(margin >= 0) ||
        !(2 * margin < std::min(pageSize.widthMm, pageSize.heightMm)))
        return 0;
    settings.marginMm = margin;
    try {
        const inkdot::cli::Placement p =
            inkdot::cli::placePicture(settings, pageSize, resolution[0], resolution[1], width,
                                      height, (flags & 4) ? 72.0 : 0.0);
        const bool inside = p.pageW >= 1 && p.pageH >= 1 && p.width >= 1 && p.height >= 1 &&
                            p.x0 >= 0 && p.y0 >= 0 && p.x0 + p.width <= p.pageW &&
                            p.y0 + p.height <= p.pageH;
        if (!inside || !(p.printedW >= 0) || !(p.printedH >= 0)) {
            std::fprintf(stderr, "placed %d x %d at (%d, %d) on %d x %d, printed %g x %g mm\n",
                         p.width, p.height, p.x0, p.y0, p.pageW, p.pageH, p.printedW, p.printedH);
            std::abort();
        }
    } catch (const Failure& failure) {
        expectUsage(failure);
    }
    return 0;
}
