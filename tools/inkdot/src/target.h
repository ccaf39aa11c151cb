// `inkdot target`: prints the patch target a printer is characterised from
// and writes a CGATS file of its device values, for a real printer and a
// measuring instrument. The measured file builds a pack's tables with
// `respack default DIR --measurements MEDIA=FILE`.
#pragma once

#include <cstdio>
#include <filesystem>
#include <vector>

#include "colour/target.h"
#include "settings.h"

namespace inkdot::cli {

// How the patches of a target fit the pages: patches of at least the
// asked size, as many as fit inside the margins.
struct TargetLayout {
    int columns = 0, rows = 0, pages = 0;
};
TargetLayout targetLayout(const PageSize& page, double marginMm, double patchMm, size_t patches);

// Prints every page of the target (planes and preview, in page-N folders
// when there is more than one) and writes target.txt. Returns the folders.
std::vector<std::filesystem::path> runTarget(PrintSettings settings,
                                             const std::filesystem::path& outDir,
                                             const colour::TargetGrid& grid, double patchMm,
                                             FILE* out);

}  // namespace inkdot::cli
