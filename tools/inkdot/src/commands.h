// The smaller commands: `inkdot info` (what a pack holds), `inkdot table`
// (the halftone table image) and `inkdot chart` (the sample page).
#pragma once

#include <cstdint>
#include <filesystem>

#include "settings.h"

namespace inkdot::cli {

// Lists the pack: its print settings, the index lines and every resource
// with its state. Returns kExitPack when a resource is missing or damaged.
int runInfo(const std::filesystem::path& pack);

// Writes the halftone table image for the settings' media, quality, dots
// and inks: as a PNG picture of its sections (the output must be named
// .png), or with `raw` its bytes as the library gives them. `records` names
// the level-record resource for two-bit dots (-1: the one the colour
// table's extra block names, else the pack's).
void runTable(const PrintSettings& settings, const std::filesystem::path& output, int32_t records,
              bool raw);

// Writes the sample chart.
void runChart(const std::filesystem::path& output, int width, int height);

}  // namespace inkdot::cli
