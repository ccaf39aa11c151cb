// The curve steps that end phase 2 of the colour-matching sequence, and the
// curve stage that may follow it.
#pragma once

#include <cstddef>
#include <cstdint>

struct CmContext;

namespace inkdot {

// Phase 2, after the single-channel table: applies the curve set of tag 528
// or 544 (next resource -1), or starts the curve stage (next resource 980, or
// -1 when tag 512 holds no valid selector). Returns the step's result.
int32_t startCurveSteps(CmContext& cm, int32_t* nextResource);

// Phase 3 and later: one step of the curve stage with the resource it asked for.
int32_t curveStageStep(CmContext& cm, const uint8_t* resource, size_t length,
                       int32_t* nextResource);

// Releases a curve stage the caller abandoned part-way (nothing when none runs).
int32_t releaseCurveStage(CmContext& cm);

}  // namespace inkdot
