// The per-density tables the kernels consult for every pixel: spread levels,
// dot values, level thresholds, error thresholds and the level-record model.
// None comes from a resource; each is a fixed table chosen by resolution,
// output depth and ink set, or a formula over the CmLut's percentages, the
// matrix size and the items of the extra block.
#pragma once

#include <cstdint>

#include "halftone/halftone_context.h"
#include "halftone/resource_format.h"
#include "inkdot/inkdot.h"

namespace inkdot {

inline constexpr int kDensityLevels = 256;
inline constexpr int kErrorThresholdEntries = 512;

// The four density limits that choose the diffusion spread. Returns 0 and the
// levels, or INKDOT_BAD_FIRST_RECORD for a combination without a row and INKDOT_SEQUENCE_ENDED for
// a one-bit single-ink object whose percentAt0 is not 250, 350 or 500.
int32_t spreadLevelsFor(const HalftoneParams& params, int32_t percentAt0, int32_t levels[4]);

// The dot-value curve: from 255 x a / 100 at density 0 to 255 x b / 100 at
// 255, quadratic in 255 - k. Each entry is kept as int16.
void fillDotValueCurve(int16_t* dotValues, int32_t a, int32_t b);

// The dot values of an object: the caller's percentages for one-bit
// single-ink output, a flat 255 for every other object.
void fillDotValues(int16_t* dotValues, const HalftoneParams& params, const CmLut& lut);

// Whether every dot value can divide: a zero entry has no level threshold.
bool dotValuesUsable(const int16_t* dotValues);

// How many matrix ranks each density covers (halved at 2880 dpi), re-mapped
// through the density map for a single-ink non-diffusion object, which has
// 256 entries of scratch behind the table. The dot values must be usable.
void fillLevelThresholds(int32_t* levelThresholds, const HalftoneParams& params, int32_t matrixSize,
                         const int16_t* dotValues, const int16_t* densityMap);

// The 512 base thresholds of the dot decision.
void fillErrorThresholds(int16_t* errorThresholds, const HalftoneParams& params,
                         const int16_t* dotValues);

// Parameters of the level-record model.
struct LevelModel {
    int32_t records;  // R: 256 for one ink, 512 for separated inks
    double curve;     // A: bend of the ink axis
    double dotShare;  // B: share of the small dots at their limit
    double inkScale;  // H: stretch of the ink axis
};

// The model for an object with a chain-kind extra block: B from the chain's
// 0xFFFE item (0.5 without one), H from its tag-101 item for separated inks.
LevelModel levelModelFor(const HalftoneParams& params, ByteView extraBlock);

// The small-dot share for a code of the chain's 0xFFFE item.
double dotShareFor(int32_t code, bool at1440x720, bool singleInk);

// The record at which each of the four stages of the model begins (a stage
// that makes no record begins where the next one does).
struct LevelModelStages {
    int32_t start[4];
};

// Fills model.records level records: small dots only, then small at their
// limit plus medium, then small and medium filling the area, then medium and
// large. Floating point throughout; each field is kept as int16.
LevelModelStages fillLevelRecords(LevelRecord* records, const LevelModel& model);

}  // namespace inkdot
