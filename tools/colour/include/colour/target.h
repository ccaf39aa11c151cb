// The patch target a printer is characterised from: a grid of CMYK device
// values (the input of the six-ink separation), every combination of
// `cmyLevels` levels of cyan, magenta and yellow with `kLevels` levels of
// black. The levels are spread evenly from 0 to 255. Patches are listed
// with cyan changing slowest and black fastest.
//
// The same target serves the ink model (printed through the library and
// measured by the model) and a real printer (printed by `inkdot target`,
// measured with an instrument and read back as CGATS text), so the tables
// are built the same way from either.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "colour/colour_space.h"

namespace inkdot::colour {

struct Cmyk {
    uint8_t c = 0, m = 0, y = 0, k = 0;
    bool operator==(const Cmyk&) const = default;
};

struct TargetGrid {
    int cmyLevels = 9;  // 2..33
    int kLevels = 5;    // 2..33

    // The device value of level i of n (0 and 255 at the ends).
    static uint8_t level(int i, int n);
    size_t size() const {
        return size_t(cmyLevels) * size_t(cmyLevels) * size_t(cmyLevels) * size_t(kLevels);
    }
    std::vector<Cmyk> patches() const;
    // The grid whose patches are exactly `patches` in this order, or throws
    // std::invalid_argument saying why they are not one.
    static TargetGrid of(const std::vector<Cmyk>& patches);
};

// A target and what was measured of it: one Lab (D50, relative to the
// paper) per patch, in the target's order.
struct Measurements {
    TargetGrid grid;
    std::vector<Lab> lab;
};

}  // namespace inkdot::colour
