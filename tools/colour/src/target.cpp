#include "colour/target.h"

#include <cmath>
#include <stdexcept>

namespace inkdot::colour {

uint8_t TargetGrid::level(int i, int n) {
    return uint8_t(std::lround(255.0 * i / (n - 1)));
}

std::vector<Cmyk> TargetGrid::patches() const {
    if (cmyLevels < 2 || cmyLevels > 33 || kLevels < 2 || kLevels > 33)
        throw std::invalid_argument("a target has 2 to 33 levels of each ink");
    std::vector<Cmyk> out;
    out.reserve(size());
    for (int c = 0; c < cmyLevels; ++c)
        for (int m = 0; m < cmyLevels; ++m)
            for (int y = 0; y < cmyLevels; ++y)
                for (int k = 0; k < kLevels; ++k)
                    out.push_back({level(c, cmyLevels), level(m, cmyLevels), level(y, cmyLevels),
                                   level(k, kLevels)});
    return out;
}

TargetGrid TargetGrid::of(const std::vector<Cmyk>& patches) {
    // The number of levels shows in the patches that carry black only.
    int kLevels = 0;
    while (size_t(kLevels) < patches.size() && patches[size_t(kLevels)].c == 0 &&
           patches[size_t(kLevels)].m == 0 && patches[size_t(kLevels)].y == 0 &&
           (kLevels == 0 || patches[size_t(kLevels)].k > patches[size_t(kLevels) - 1].k))
        ++kLevels;
    if (kLevels < 2) throw std::invalid_argument("the patches do not start with a ramp of black");
    const size_t cube = patches.size() / size_t(kLevels);
    int cmyLevels = int(std::lround(std::cbrt(double(cube))));
    TargetGrid grid{cmyLevels, kLevels};
    if (cmyLevels < 2 || grid.size() != patches.size())
        throw std::invalid_argument(
            "the patches are not a full grid of cyan, magenta, yellow and black levels");
    const std::vector<Cmyk> want = grid.patches();
    for (size_t i = 0; i < want.size(); ++i)
        if (!(want[i] == patches[i]))
            throw std::invalid_argument("patch " + std::to_string(i + 1) +
                                        " is not where the target grid has it");
    return grid;
}

}  // namespace inkdot::colour
