// The colour-matching object.
#pragma once

#include <cstdint>

#include "inkdot/inkdot.h"
#include "platform/global_memory.h"

namespace inkdot {
struct CmCurveStage;
}

// Everything the colour-matching engine needs to build one lookup table.
// Lives in one zero-filled, locked global-memory block created by CmNew.
struct CmContext {
    inkdot::platform::Handle ownHandle;
    CmParams params;  // the caller's record, defaults applied
    CmSelect select;  // the caller's record, defaults applied
    int32_t phase;    // phase of the resource sequence; 1 after CmNew
    CmLut* lut;
    inkdot::platform::Handle lutHandle;
    inkdot::CmCurveStage* curveStage;  // while the curve stage runs, else stale
    uint8_t* nodeCurves;               // N0 x c bytes copied from the colour table
    inkdot::platform::Handle nodeCurvesHandle;
    int16_t keyC;
    int16_t tableType;        // byte 15 of the chosen colour table
    int16_t workPixel[4];     // bytes per work pixel, then the positions of channels 0..2
    int16_t tableAdjust[10];  // U0..U2, V0..V2, S0..S3 from the colour table
    int16_t indexVersion;
    uint8_t greyShare[256];  // from a type-51 colour table
    int32_t resourceBase;    // chosen resource rounded down to a multiple of 1000
    int32_t chosenResource;
    int32_t chosenClass;
};

namespace inkdot {

// keyC from the caller's records, as CmNew derives it (after the keyA default).
// May clear the object's colorMode (matchMode 4), hence the reference.
int16_t deriveKeyC(CmParams& params, const CmSelect& select);

}  // namespace inkdot
