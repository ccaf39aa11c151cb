// HalftoneNew and HalftoneDelete: checking the caller's records, choosing the
// object's mode, and giving every block back.
#include <optional>

#include "frame/mem_block.h"
#include "frame/workers.h"
#include "halftone/halftone_context.h"
#include "halftone/halftone_params.h"

namespace inkdot {
namespace {

// The processing mode, or nothing. Half-width two-bit output (y = 2x)
// has modes of its own that take input pixels in pairs (pairFlag 1, two input
// pixels per output pixel) or singly; everywhere else pairs are not offered.
std::optional<Mode> chooseMode(const HalftoneParams& p) {
    if (p.outputBits == 8) return Mode::separationPath;
    if (Resolution(p).yTwiceX() && p.outputBits == 2) {
        if (p.pairFlag == 0) {
            if (p.method == 1)
                return p.inkSet != 0 ? Mode::halfWidthSeparated : Mode::halfWidthSingleInk;
            if (p.method == 3) return Mode::plain;
            return std::nullopt;
        }
        if (p.pairFlag == 1 && p.inputScale == -1 && p.method == 1)
            return p.inkSet != 0 ? Mode::pairsSeparated : Mode::pairsSingleInk;
        return std::nullopt;
    }
    if (p.pairFlag == 1) return std::nullopt;
    if (p.inkSet == 3 && p.method == 3 && p.outputBits == 1) return Mode::separationPath;
    return Mode::plain;
}

// The input format must match the ink set: one byte for one ink, four
// channels for separated inks.
bool formatMatchesInkSet(const HalftoneParams& p) {
    if ((p.inputFormat == 0) != (p.inkSet == 0)) return false;
    return p.inkSet != 3 || p.inputFormat == 4;
}

}  // namespace

int32_t halftoneNew(const HalftoneParams* params, const CmLut* lut, int32_t flag,
                    int32_t* tableClass, HalftoneContext** handle, size_t extraLength) {
    if (flag != 0) return INKDOT_NONZERO_FLAG;
    if (params == nullptr) return INKDOT_BAD_FIRST_RECORD;
    if (lut == nullptr) return INKDOT_BAD_SECOND_RECORD;
    if (params->inkSet == 1 || params->inkSet == 2 || params->method == 2 ||
        (params->inkSet == 3 && params->method == 0))
        return INKDOT_BAD_FIRST_RECORD;
    // Line buffers are sized by maxPixels; a negative length sizes nothing.
    if (params->maxPixels < 0) return INKDOT_BAD_FIRST_RECORD;
    if (params->version != INKDOT_HALFTONE_VERSION) return INKDOT_UNSUPPORTED;

    *tableClass = lut->tableClass;

    platform::Handle ownHandle = nullptr;
    void* address = nullptr;
    int32_t result = allocateLocked(sizeof(HalftoneContext), true, ownHandle, address);
    if (result != INKDOT_OK) return result;
    auto* context = static_cast<HalftoneContext*>(address);
    *handle = context;
    context->ownHandle = ownHandle;
    context->params = *params;
    context->lut = *lut;
    context->extraLength = extraLength;
    context->line = {0, 0};
    context->phase = 0;
    clearTable(context->blocks);

    const std::optional<Mode> mode = chooseMode(context->params);
    const int32_t failure = !formatMatchesInkSet(context->params) ? INKDOT_BAD_FIRST_RECORD
                            : !mode                               ? INKDOT_UNSUPPORTED
                                                                  : INKDOT_OK;
    if (failure != INKDOT_OK) {
        unlockAndFree(ownHandle);
        return failure;
    }
    context->mode = *mode;
    context->is720x360 = Resolution(context->params).is720x360() ? 1 : 0;
    return INKDOT_OK;
}

int32_t halftoneDelete(HalftoneContext* context) {
    int32_t result = releaseAll(context->blocks);
    if (result != INKDOT_OK) return result;
    return unlockAndFree(context->ownHandle);
}

}  // namespace inkdot
