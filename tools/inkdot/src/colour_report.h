// `inkdot colour-report`: prints a standard chart through a pack, as
// `inkdot print` prints any image, measures each patch of the planes with
// the ink model of the media, and reports intended against printed colour.
//
// The chart: the 24 patches of the colour checker (their commonly
// published sRGB values), a grey ramp of 21 steps (0 % to 100 % ink), and
// ramps of 10 steps from white to each of red, green, blue, cyan, magenta
// and yellow. Printed colour is CIELAB relative to the paper, as a
// measuring instrument reports it for profiling; intended colour is the
// Lab of the sRGB value.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "colour/colour_space.h"
#include "settings.h"

namespace inkdot::cli {

struct ReportPatch {
    std::string group;  // "checker", "grey", "ramp"
    std::string name;
    std::array<uint8_t, 3> rgb;
};
std::vector<ReportPatch> reportChart();

struct PatchResult {
    ReportPatch patch;
    colour::Lab intended, printed;
    double deltaE = 0;
    bool reachable = true;  // the intended colour lies within what the inks print
};

struct MediaReport {
    std::string media, settings;  // what was printed, in words
    std::vector<PatchResult> patches;
    double blackL = 0;  // the darkest grey the inks print
    // Over the checker: all patches, and those the inks reach.
    double checkerMean = 0, checkerMax = 0, reachableMean = 0, reachableMax = 0;
    int reachable = 0;
    double worstHueShift = 0;  // degrees, over the checker patches the inks cannot reach
    // Over the greys from 10 % to 100 % whose input lies above the ink black.
    double greyMaxA = 0, greyMaxB = 0, greyMaxL = 0;
};

// Prints the chart for the settings' media (and everything else they say)
// into `outDir` and measures it.
MediaReport colourReport(PrintSettings settings, const std::filesystem::path& outDir);

// The report as text lines, a CSV file and a picture of intended beside
// printed patches; and, for several media, a summary in Markdown.
void writeReport(const MediaReport& report, const std::filesystem::path& outDir, FILE* out);
std::string reportSummaryMarkdown(const std::vector<MediaReport>& reports);

}  // namespace inkdot::cli
