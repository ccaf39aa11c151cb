// The print settings a user chooses, and how they map onto the pack's index
// keys and the library's records.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
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
// "WIDTHxHEIGHT" with "mm" (the default) or "in"; false when it is none.
bool parseSizeMm(const std::string& text, double& widthMm, double& heightMm);
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
    // The image's printed size: fitted to the page inside the margin when
    // none of these is given; else `size` (a box it fills keeping its
    // shape), or its pixels at `dpi` (300 when only a scale is given) times
    // `scalePercent`.
    std::string size;
    double dpi = 0, scalePercent = 0;
    PlaneFormat planeFormat = PlaneFormat::Tiff;
    bool quiet = false;
};

// The picture's printed size in mm (before any quarter turn) for a width
// and height in its units, or nothing for "fit". `ownDpi` is the units to
// the inch the picture itself gives (72 for a PDF page's points; 0 for
// pixels, which take --dpi or 300). Throws Failure(kExitUsage).
std::optional<std::pair<double, double>> printedSizeMm(const PrintSettings& settings, double width,
                                                       double height, double ownDpi = 0);

// Where a picture goes on the page: its printed size in mm, whether it is
// turned a quarter, and its box in device pixels (at least one pixel, inside
// the page, centred). `sourceW` x `sourceH` is the picture's own size in its
// units (pixels, or a PDF page's points with `ownDpi` 72), finite and
// positive. Fitted, the picture turns when that fits it larger; at a size of
// its own, when it fits only turned. Throws Failure(kExitUsage) when a size
// of its own does not fit inside the margins.
struct Placement {
    bool rotate = false, fitted = false;
    double printedW = 0, printedH = 0;  // mm, after any turn
    int pageW = 0, pageH = 0;           // the page in device pixels
    int width = 0, height = 0, x0 = 0, y0 = 0;
};
Placement placePicture(const PrintSettings& settings, const PageSize& page, int xres, int yres,
                       double sourceW, double sourceH, double ownDpi = 0);

// Device pixels of a length in mm at `dpi`, in 0 .. 1,000,000.
int deviceLength(double mm, int dpi);

// The keys of the pack's index that a set of print settings chooses, and
// the records they give the colour matching.
struct Selection {
    int32_t keyA = 0, keyB = 0, colorMode = 2;
    int32_t numberA = 0, numberB = 0, numberD = 1;
    // The pack's own spelling of each name (a user may give any case).
    std::string mediaName, qualityName, colourModeName, intentName, variantName;
    int xResolution = 0, yResolution = 0;
};

// The names a pack offers for each setting: the media, intents, colour
// modes and variants its index has colour tables for (plus the intent at
// the head of the list, which the library answers with the standard
// intent's tables), and its qualities.
struct PackOffers {
    std::vector<std::string> media, intents, colourModes, variants, qualities;
};
PackOffers packOffers(Pack& pack);

// "a, b or c".
std::string choiceList(const std::vector<std::string>& names);

// Resolves the names of the settings against the pack (its index and
// manifest), in any case, and makes sure the index has a colour table for
// the combination in each role of `tables` (4: RGB to CMYK, 6: CMYK to six
// inks). Throws Failure(kExitUsage) naming the value and what the pack
// offers instead.
Selection resolveSelection(Pack& pack, const PrintSettings& settings,
                           std::vector<int> tables = {4, 6});

// The colour-matching records for one table role (numberC 4: RGB -> CMYK,
// 6: CMYK -> six inks). `blackOnlyGreys` keeps the table's black-only grey
// nodes (for one-ink printing). `tags` must outlive the sequence.
void colourMatchingRecords(const Selection& selection, const PrintSettings& settings, int numberC,
                           bool blackOnlyGreys, const CmTagList* tags, CmParams& params,
                           CmSelect& select);

}  // namespace inkdot::cli
