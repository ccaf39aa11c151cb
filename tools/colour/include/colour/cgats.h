// CGATS text, the measurement files colour instruments and their software
// read and write: a file-type line, keywords, a data format naming the
// fields of each patch, and one line of values a patch.
//
//     CGATS.17
//     ORIGINATOR "inkdot"
//     NUMBER_OF_FIELDS 8
//     BEGIN_DATA_FORMAT
//     SAMPLE_ID CMYK_C CMYK_M CMYK_Y CMYK_K LAB_L LAB_A LAB_B
//     END_DATA_FORMAT
//     NUMBER_OF_SETS 3645
//     BEGIN_DATA
//     1 0.00 0.00 0.00 0.00 95.12 0.31 -2.05
//     ...
//     END_DATA
//
// Device values are percentages (0 to 100). A measured file gives each
// patch's colour as LAB_L, LAB_A, LAB_B (D50) or as XYZ_X, XYZ_Y, XYZ_Z
// (D50, white Y = 1 or 100); other fields are passed over. Measurements are
// made media-relative on reading, as the tables aim at them: every colour
// is scaled by the white of the unprinted patch (CMYK 0), which becomes
// L* 100, a* = b* = 0.
#pragma once

#include <string>
#include <vector>

#include "colour/colour_space.h"
#include "colour/target.h"

namespace inkdot::colour {

// A target's device values as CGATS text, with measured Lab when `lab` is
// given (one per patch, in the target's order). `comments` become lines of
// their own after the header (say there where each patch is printed).
std::string cgatsText(const TargetGrid& grid, const std::vector<Lab>* lab = nullptr,
                      const std::vector<std::string>& comments = {});

// Reads measurements of a target: the device values must make a whole
// TargetGrid (in any order); the result is in the grid's order. Throws
// std::runtime_error naming the line of what it cannot use.
Measurements readCgats(const std::string& text, const ColourSpaces& spaces);

}  // namespace inkdot::colour
