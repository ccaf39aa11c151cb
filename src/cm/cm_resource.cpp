// The colour-matching resource sequence. Phase 1 takes the index and answers
// with the colour table; phase 2 builds the lookup table from it and hands
// over to the curve steps; later phases belong to the curve stage.
#include <climits>

#include "cm/adjustment.h"
#include "cm/cm_context.h"
#include "cm/colour_remap.h"
#include "cm/colour_table.h"
#include "cm/curves.h"
#include "cm/table_index.h"
#include "frame/workers.h"

namespace inkdot {
namespace {

int32_t takeIndex(CmContext& cm, const uint8_t* text, size_t length, int32_t* nextResource) {
    int32_t answer = 0;
    int32_t result = chooseFromIndex(cm, text, length, &answer);
    if (result == INKDOT_ALLOC_FAILED) {
        *nextResource = INKDOT_NO_RESOURCE;
        return result;
    }
    cm.resourceBase = answer / 1000 * 1000;
    *nextResource = answer;
    return answer == 0 ? INKDOT_SEQUENCE_ENDED : INKDOT_OK;
}

int32_t buildLookupTable(CmContext& cm, const uint8_t* table, size_t length,
                         int32_t* nextResource) {
    *nextResource = INKDOT_NO_RESOURCE;
    if (int32_t result = decodeColourTable(cm, table, length); result != INKDOT_OK) return result;
    cm.workPixel[0] = 4;  // bytes a work pixel; colour channels 0..2 at bytes 1..3
    cm.workPixel[1] = 1;
    cm.workPixel[2] = 2;
    cm.workPixel[3] = 3;

    if (cm.tableType != kFourDimensionalType) {
        if (cm.params.colorMode == 2) {
            if (int32_t result = remapColours(cm); result != INKDOT_OK) return result;
        }
        if (int32_t result = runAdjustment(cm); result != INKDOT_OK) return result;
    }
    if (classCorrectionRuns(cm)) applyClassCorrection(cm);
    buildSingleChannelTable(cm);
    return startCurveSteps(cm, nextResource);
}

}  // namespace

int32_t cmSetResource(CmContext* context, const void* resource, size_t length,
                      int32_t* nextResource) {
    CmContext& cm = *context;
    const int32_t phase = cm.phase;
    if (cm.phase < INT_MAX) ++cm.phase;
    const auto* bytes = static_cast<const uint8_t*>(resource);
    switch (phase) {
        case 1: return takeIndex(cm, bytes, length, nextResource);
        case 2: return buildLookupTable(cm, bytes, length, nextResource);
        default: return curveStageStep(cm, bytes, length, nextResource);
    }
}

}  // namespace inkdot
