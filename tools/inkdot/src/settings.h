// The print settings a user chooses, and how they map onto the pack's index
// keys and the library's records.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "inkdot/inkdot.h"
#include "pack.h"
#include "planes.h"

namespace inkdot::cli {

enum class Method { Diffusion, Ordered, Bayer };
enum class InkSet { Auto, Six, Black };

struct PageSize {
    std::string name;
    double widthMm = 210, heightMm = 297;
};
// "A4", "A3", "A5", "Letter", "Legal" or "WIDTHxHEIGHTmm" (e.g. 100x150mm).
// Throws Failure(kExitUsage).
PageSize parsePageSize(const std::string& text);
// "1440x720"; one of the five resolutions the halftone engine serves.
// Throws Failure(kExitUsage).
void parseResolution(const std::string& text, int& x, int& y);

struct PrintSettings {
    std::filesystem::path image, pack, outDir;
    std::filesystem::path inputProfile;  // an ICC profile for the image, over any it embeds
    std::string media = "PlainPaper";
    std::string quality;     // a name or number of the pack's; empty: from the resolution
    std::string resolution;  // empty: the quality's own
    int bits = 2;
    Method method = Method::Diffusion;
    InkSet inks = InkSet::Auto;
    std::string colourMode = "Matched";
    std::string intent = "Standard";
    std::string variant = "standard";  // or "economy"
    int brightness = 0, contrast = 0, saturation = 0;
    double gamma = 1.5;
    std::string page = "A4";
    double marginMm = 3.0;
    std::string rotate = "auto";  // auto, yes, no
    int previewWidth = 1200;
    std::vector<double> cropAtMm;  // the crop's centre on the page; empty: the image's centre
    PlaneFormat planeFormat = PlaneFormat::Tiff;
    bool quiet = false;
};

// The keys of the pack's index that a set of print settings chooses, and
// the records they give the colour matching.
struct Selection {
    int32_t keyA = 0, keyB = 0, colorMode = 2;
    int32_t numberA = 0, numberB = 0, numberD = 1;
    std::string mediaName, qualityName, colourModeName;
    int xResolution = 0, yResolution = 0;
};

// Resolves the names of the settings against the pack (its index and
// manifest). Throws Failure(kExitUsage) naming the choices there are.
Selection resolveSelection(Pack& pack, const PrintSettings& settings);

// The colour-matching records for one table role (numberC 4: RGB -> CMYK,
// 6: CMYK -> six inks). `blackOnlyGreys` keeps the table's black-only grey
// nodes (for one-ink printing). `tags` must outlive the sequence.
void colourMatchingRecords(const Selection& selection, const PrintSettings& settings, int numberC,
                           bool blackOnlyGreys, const CmTagList* tags, CmParams& params, CmSelect& select);

} // namespace inkdot::cli
