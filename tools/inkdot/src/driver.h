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

#include "document.h"
#include "planes.h"
#include "progress.h"
#include "settings.h"

namespace inkdot::cli {

struct PlaneResult {
    std::string ink;
    std::filesystem::path file;
    DotCounts counts;
    double covered = 0;  // the area its dots cover, in device pixels (the ink model's)
};

struct PrintResult {
    std::string description;           // what was printed, in a line
    std::vector<std::string> details;  // tables, resources, geometry
    std::vector<PlaneResult> planes;
    int bits = 0;
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
        double read = 0, colour = 0, setup = 0, scale = 0, halftone = 0, preview = 0, write = 0,
               total = 0;
    } time;
    double cpuSeconds = 0;
    std::vector<std::filesystem::path> images;  // preview files written
};

// Prints the first page of settings.image into settings.outDir.
PrintResult printImage(const PrintSettings& settings);

// Prints one page of a file into settings.outDir (settings.image is not
// read). With `progress` the page advances that job-wide bar, else it
// draws its own. Safe to run on several threads at once, each page with its
// own pack, library objects and files.
PrintResult printPage(const PrintSettings& settings, const InputPage& page, Progress* progress);

// The closing summary: ink coverage per plane and the time.
void writeSummary(const PrintResult& result, FILE* out);
// Its table of dots and coverage per plane.
void writeInkTable(const PrintResult& result, FILE* out);

}  // namespace inkdot::cli
