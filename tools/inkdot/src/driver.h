// `inkdot print`: the driver's whole sequence for one page.
//
//   RGB image  -- 3-D table, interpolated here --> CMYK --> six-ink halftoning
//   CMYK image ----------------------------------------> six-ink halftoning
//   grey image -- singleChannelTable --> black ink ----> one-ink halftoning
//
// The image is converted at its own resolution, scaled to device pixels
// line by line into the page's image area, halftoned by the library, written
// as plane files and rendered into the preview.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "planes.h"
#include "settings.h"

namespace inkdot::cli {

struct PlaneResult {
    std::string ink;
    std::filesystem::path file;
    DotCounts counts;
};

struct PrintResult {
    std::string description;       // what was printed, in a line
    std::vector<std::string> details;  // tables, resources, geometry
    std::vector<PlaneResult> planes;
    int bits = 0;
    std::array<double, 4> cover{};  // share of a pixel each dot code covers (the ink model's)
    // Where the image went: its rectangle on the page in device pixels
    // (after any quarter turn), the page, the resolution, the ink of each
    // plane, the ink model's media, and the six-ink table and halftone list
    // it printed through.
    int imageX = 0, imageY = 0, imageWidth = 0, imageHeight = 0, pageWidth = 0, pageHeight = 0;
    int xResolution = 0, yResolution = 0;
    bool rotated = false;
    std::vector<std::string> inkNames;
    std::string modelMedia;
    int32_t separationTable = 0, halftoneList = 0;
    int32_t rgbTable = -1;  // the RGB (or grey) table the page went through, -1 for CMYK input
    uint64_t pagePixels = 0, imagePixels = 0;
    struct Timing {
        double read = 0, colour = 0, setup = 0, scale = 0, halftone = 0, preview = 0, write = 0, total = 0;
    } time;
    double cpuSeconds = 0;
    std::vector<std::filesystem::path> images;  // preview files written
};

PrintResult printImage(const PrintSettings& settings);

// The closing summary: ink coverage per plane and the time.
void writeSummary(const PrintResult& result, FILE* out);

} // namespace inkdot::cli
