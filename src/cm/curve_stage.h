// The curve stage: per-channel curves chosen by comparing the driver's target
// values with the values its resources report, over four resource steps.
#pragma once

#include <cstddef>
#include <cstdint>

#include "inkdot/inkdot.h"
#include "platform/global_memory.h"

struct CmContext;

namespace inkdot {

// The stage serves at most this many output channels (entries).
inline constexpr int32_t kStageEntries = 20;

// Resource numbers the stage asks for, besides the second index.
inline constexpr int32_t kMapResource = 980;
inline constexpr int32_t kMeasuredResource = 990;
inline constexpr int32_t kSecondIndexOffset = 900;

// One zero-filled global-memory block, alive from the start of the stage to
// its last step (or to CmDelete when the caller abandons the sequence).
struct CmCurveStage {
    platform::Handle ownHandle;
    platform::Handle curveBlockHandle;
    uint8_t* curveBlock;  // c x 256 bytes; slot l holds the curve of output channel l
    CmParams params;      // the object's records when the stage started
    CmSelect select;
    int32_t state;  // 1: wants the map, 2: measured values, 3: second index, 4: curves
    CmContext* object;
    uint8_t targets[kStageEntries];   // target value of each entry
    uint8_t map[kStageEntries];       // curve-block slot that entry i fills
    int32_t mode;                     // from the measured-values resource
    uint8_t measured[kStageEntries];  // value of each entry that the driver measured
};

// How a mode turns a target and a measured value into a curve number.
struct CurveChoice {
    int32_t highestCurve;
    int32_t divisor;
    int32_t offset;
    int32_t tolerance;
};
CurveChoice curveChoiceFor(int32_t mode);

// Curve number for one entry: (target - measured - offset + 50) / divisor,
// held to 0..highestCurve.
int32_t curveNumber(const CurveChoice& choice, int32_t target, int32_t measured);

// Phase 2, when no curve set applies: creates the stage and answers 980 when
// tag 512 holds a valid selector; otherwise releases it again and answers -1.
int32_t startCurveStage(CmContext& cm, int32_t* nextResource);

// Bends every output channel of every grid node through its curve-block slot.
void applyStageCurves(const CmCurveStage& stage, CmLut& lut);

}  // namespace inkdot
