#include "driver.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>

#include "colour.h"
#include "document.h"
#include "failure.h"
#include "image.h"
#include "input_profile.h"
#include "orientation.h"
#include "preview.h"
#include "progress.h"
#include "resample.h"
#include "sequence.h"

namespace inkdot::cli {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The phases are timed in this thread's processor time, so a busy machine
// does not blur where the time goes; the total is also given as wall time.
double cpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}
double since(double t) {
    return cpuNow() - t;
}

const char* methodName(Method m) {
    return m == Method::Diffusion ? "error diffusion"
           : m == Method::Ordered ? "ordered dither (blue noise)"
                                  : "ordered dither (Bayer)";
}

// Where the six-ink kernels put each of the table's channels (cyan, light
// cyan, magenta, light magenta, yellow, black): the dark inks and black
// first, then the light inks.
constexpr int kPlaneChannel[6] = {0, 2, 4, 5, 1, 3};

// A PDF page is rendered in bands of about this many bytes (as Poppler's
// RGB and as ink amounts), so a page at 2880 x 720 dpi never needs its
// hundreds of megabytes at once.
constexpr size_t kBandBytes = size_t(32) << 20;

}  // namespace

PrintResult printImage(const PrintSettings& st) {
    return printPage(st, {st.image, fileKind(st.image), 0, 1}, nullptr);
}

PrintResult printPage(const PrintSettings& st, const InputPage& source, Progress* shared) {
    const Clock::time_point start = Clock::now();
    const double cpuStart = cpuNow();
    PrintResult res;

    // The page: an image read whole, or a PDF page that is drawn, not
    // stored, and is rendered further down in bands at the printer's
    // resolution. `image` then stands for it: RGB, sized in points.
    double t = cpuNow();
    std::optional<PdfPage> pdf;
    Image image;
    if (source.kind == FileKind::Pdf) {
        pdf.emplace(source.file, source.index);
        image.format = "PDF";
        image.space = ColourSpace::Rgb;
    } else {
        image = readImage(source.file, source.index);
    }
    const ColourSpace fileSpace = image.space;
    res.time.read = since(t);
    // The image's colours into what the pack's tables take (a PDF's bands
    // as they are rendered).
    t = cpuNow();
    if (pdf && st.inputProfile.empty())
        res.details.push_back("input profile: sRGB (the PDF as Poppler renders it)");
    else
        res.details.push_back("input profile: " +
                              applyInputProfile(image, source.file, st.inputProfile));
    if (image.orientation >= 2)
        res.details.push_back("orientation: " + orientationText(image.orientation) +
                              " to stand upright (the file's "
                              "orientation tag says " +
                              std::to_string(image.orientation) + ")");
    res.time.colour = since(t);

    t = cpuNow();
    Pack pack(st.pack);
    // CMYK printed in six inks needs only the separation table.
    const bool cmykToSix = st.inks != InkSet::Black && image.space == ColourSpace::Cmyk;
    const Selection sel =
        resolveSelection(pack, st, cmykToSix ? std::vector<int>{6} : std::vector<int>{4, 6});
    const PageSize page = parsePageSize(st.page);
    if (st.previewWidth < 16 || st.previewWidth > 16000)
        throw Failure(kExitUsage, "preview width " + std::to_string(st.previewWidth) +
                                      " is outside 16 to 16000");
    const double pageShort = std::min(page.widthMm, page.heightMm);
    if (!(st.marginMm >= 0) || 2 * st.marginMm >= pageShort)
        throw Failure(kExitUsage,
                      "margin " + format("%g", st.marginMm) + " mm " +
                          (st.marginMm < 0 ? "is negative" : "leaves nothing of the page") +
                          ": give 0 to under " + format("%g", pageShort / 2) +
                          " mm (half the shorter side of " + page.name + ", " +
                          format("%g x %g mm", page.widthMm, page.heightMm) + ")");
    if (st.rotate != "auto" && st.rotate != "yes" && st.rotate != "no")
        throw Failure(kExitUsage, "rotate is auto, yes or no");
    const bool six =
        st.inks == InkSet::Six || (st.inks == InkSet::Auto && image.space != ColourSpace::Grey);
    const int bits = st.bits, xres = sel.xResolution, yres = sel.yResolution;

    const std::string selectionText = "media " + sel.mediaName + ", quality " + sel.qualityName +
                                      ", " + std::to_string(bits) + "-bit dots, colour mode " +
                                      sel.colourModeName + ", intent " + sel.intentName +
                                      ", variant " + sel.variantName;
    int32_t gammaRef = int32_t(std::lround(st.gamma * 100.0));
    const CmTagList tags{1, {{INKDOT_TAG_GAMMA_REF, &gammaRef}}};
    res.time.setup += since(t);

    // Colour: the image into ink amounts at its own resolution.
    t = cpuNow();
    std::optional<ColourMatching> rgbTable;
    std::optional<GridInterpolator> grid;
    CmParams params;
    CmSelect select;
    if (six && image.space == ColourSpace::Cmyk) {
    } else if (six) {
        colourMatchingRecords(sel, st, 4, false, &tags, params, select);
        rgbTable.emplace(pack, params, select, Role::ColourTable3d,
                         selectionText + ", RGB to CMYK");
        grid.emplace(rgbTable->lut());
        res.details.push_back("RGB to CMYK: " + pack.describe(rgbTable->table()));
    } else {
        // One ink: the grey ramp of the RGB table, with its black-only greys
        // and the user's adjustments, gives the black ink of every grey.
        colourMatchingRecords(sel, st, 4, true, &tags, params, select);
        rgbTable.emplace(pack, params, select, Role::ColourTable3d,
                         selectionText + ", grey to black ink");
        res.details.push_back("grey to black: " + pack.describe(rgbTable->table()));
    }
    const auto toInk = [&](const Image& from) {
        if (six && from.space == ColourSpace::Cmyk) return from;
        Image ink;
        if (six) {
            const Image rgb = toRgb(from);
            ink.width = rgb.width;
            ink.height = rgb.height;
            ink.space = ColourSpace::Cmyk;
            ink.pixels.resize(size_t(rgb.width) * size_t(rgb.height) * 4);
            grid->convert(rgb.pixels.data(), ink.pixels.data(),
                          size_t(rgb.width) * size_t(rgb.height));
        } else {
            ink = toGrey(from);
            const uint8_t* table = rgbTable->lut().singleChannelTable;
            for (uint8_t& v : ink.pixels) v = table[v];
        }
        return ink;
    };
    Image ink;
    if (pdf) {
        // Sized in points until it is rendered.
        ink.width = int(std::lround(pdf->widthPt())),
        ink.height = int(std::lround(pdf->heightPt()));
        ink.space = six ? ColourSpace::Cmyk : ColourSpace::Grey;
    } else {
        ink = toInk(image);
        // Only its size and kind are needed from here on; pages printing at
        // once each hold one copy of their image, not two.
        std::vector<uint8_t>().swap(image.pixels);
    }
    res.time.colour += since(t);

    // The separation table (its black ramp for one ink) and the halftone object.
    t = cpuNow();
    colourMatchingRecords(sel, st, 6, false, &tags, params, select);
    ColourMatching inkTable(pack, params, select, Role::ColourTable4d,
                            selectionText + ", CMYK to six inks");
    res.details.push_back(std::string(six ? "CMYK to six inks: " : "black ink: ") +
                          pack.describe(inkTable.table()));

    // The page in device pixels and the image's place on it.
    if (pdf && st.dpi != 0)
        throw Failure(kExitUsage, "--dpi " + format("%g", st.dpi) +
                                      " gives an image's pixels a size, and a PDF page has its "
                                      "own: use --scale or --size");
    // The picture's own size: an image's pixels, a PDF page's points.
    const double sourceW = pdf ? pdf->widthPt() : ink.width,
                 sourceH = pdf ? pdf->heightPt() : ink.height;
    const Placement place = placePicture(st, page, xres, yres, sourceW, sourceH, pdf ? 72.0 : 0.0);
    const bool rotate = place.rotate;
    if (rotate && pdf)
        std::swap(ink.width, ink.height);
    else if (rotate)
        ink = rotateQuarter(ink);
    const int pageW = place.pageW, pageH = place.pageH;
    const int iw = place.width, ih = place.height, x0 = place.x0, y0 = place.y0;

    HalftoneParams hp{};
    hp.method = st.method == Method::Diffusion ? 1 : 3;
    hp.lineOption = 0;
    hp.inputFormat = six ? 4 : 0;
    hp.inkSet = six ? 3 : 0;
    hp.xResolution = xres;
    hp.yResolution = yres;
    hp.outputBits = bits;
    hp.inputScale = 0;
    hp.maxPixels = pageW;
    hp.pairFlag = 0;
    hp.version = INKDOT_HALFTONE_VERSION;
    const bool separationPath = six && st.method != Method::Diffusion && bits == 1;
    const std::string listName = st.method == Method::Diffusion ? "diffusion"
                                 : separationPath
                                     ? (st.method == Method::Bayer ? "mode7-bayer" : "mode7")
                                 : st.method == Method::Ordered ? "dither"
                                                                : "bayer";
    const std::string htText = std::string(six ? "six inks" : "one ink") + ", " +
                               std::to_string(bits) + "-bit dots, " + methodName(st.method) + ", " +
                               std::to_string(xres) + " x " + std::to_string(yres) + " dpi";
    res.halftoneList = pack.halftoneList(listName);
    Halftoning halftone(pack, hp, inkTable.lut(), res.halftoneList, htText);
    std::string used;
    for (int32_t n : halftone.resources()) used += (used.empty() ? "" : ", ") + std::to_string(n);
    res.details.push_back("halftone resources: " + used + " (list '" + listName + "')");

    // Planes and their files.
    std::vector<std::string> inkNames;
    if (six) {
        const std::vector<std::string> order = pack.inkOrder();
        for (int ch : kPlaneChannel)
            inkNames.push_back(size_t(ch) < order.size() ? order[size_t(ch)]
                                                         : "ink " + std::to_string(ch));
    } else {
        inkNames = {"black"};
    }
    std::error_code ec;
    fs::create_directories(st.outDir, ec);
    if (ec) throw Failure(kExitOutput, "cannot create " + st.outDir.string() + ": " + ec.message());
    const size_t rowBytes = (size_t(pageW) * size_t(bits) + 7) / 8;
    const size_t stride = (rowBytes + 8 + 15) / 16 * 16;
    // An earlier job's planes go first, so that no plane of another page
    // or format stands beside this job's.
    if (const std::vector<std::string> gone = removeEarlierPlanes(st.outDir); !gone.empty())
        res.details.push_back("removed " + std::to_string(gone.size()) +
                              " plane files of an earlier job");
    std::vector<std::unique_ptr<PlaneWriter>> writers;
    for (const std::string& name : inkNames) {
        PlaneHeader h{uint32_t(pageW),
                      uint32_t(pageH),
                      uint32_t(bits),
                      uint32_t(rowBytes),
                      uint32_t(xres),
                      uint32_t(yres),
                      name};
        const fs::path file = st.outDir / planeFileName(name, st.planeFormat, bits);
        writers.push_back(std::make_unique<PlaneWriter>(file, h, st.planeFormat));
        res.planes.push_back({name, file, {}});
    }

    // The preview and its crop, through the ink model of the media (a
    // media the model does not know is shown as glossy photo paper).
    std::optional<colour::InkModel> model = colour::InkModel::forMedia(sel.mediaName);
    if (!model) {
        model = colour::InkModel::forMedia("PhotoGlossy");
        res.details.push_back("preview: no ink model for media " + sel.mediaName +
                              "; shown as on " + model->media);
    }
    std::vector<colour::InkId> inks;
    for (const std::string& name : inkNames)
        inks.push_back(colour::inkByName(name).value_or(colour::InkId::Black));
    // The preview, the crop and the coverage see the dots as the paper
    // does (two pixels wide at 2880 dpi).
    const colour::Footprint footprint(*model, bits, xres);
    const int xRepeat = xres < yres ? yres / xres : 1, yRepeat = xres > yres ? xres / yres : 1;
    CropRect crop;
    crop.width = std::min(pageW, 600 / xRepeat);
    crop.height = std::min(pageH, 400 / yRepeat);
    double cx = x0 + iw / 2.0, cy = y0 + ih / 2.0;
    if (st.cropAtMm.size() == 2) {
        const double x = st.cropAtMm[0], y = st.cropAtMm[1];
        if (!(x >= 0 && x <= page.widthMm && y >= 0 && y <= page.heightMm))
            throw Failure(kExitUsage,
                          "--crop-at " + format("%g,%g", x, y) + " mm is outside the page " +
                              page.name + " (" + format("%g x %g mm", page.widthMm, page.heightMm) +
                              "): give X from 0 to " +
                              format("%g and Y from 0 to %g", page.widthMm, page.heightMm));
        cx = x / 25.4 * xres, cy = y / 25.4 * yres;
    } else if (!st.cropAtMm.empty()) {
        throw Failure(kExitUsage, "--crop-at takes two numbers: X and Y in mm");
    }
    crop.x = std::clamp(int(cx) - crop.width / 2, 0, pageW - crop.width);
    crop.y = std::clamp(int(cy) - crop.height / 2, 0, pageH - crop.height);
    PreviewRenderer preview({pageW, pageH, xres, yres}, bits, *model, inks, st.previewWidth, crop);
    std::vector<DotCounts> seenCounts(inkNames.size());
    res.time.setup += since(t);

    char line[512];
    const std::string name =
        source.file.filename().string() + (source.pagesInFile > 1
                                               ? " page " + std::to_string(source.index + 1) +
                                                     " of " + std::to_string(source.pagesInFile)
                                               : "");
    if (pdf)
        std::snprintf(line, sizeof line, "%s (PDF, %.0f x %.0f mm) on %s: %s", name.c_str(),
                      pdf->widthPt() / 72 * 25.4, pdf->heightPt() / 72 * 25.4, page.name.c_str(),
                      htText.c_str());
    else
        std::snprintf(line, sizeof line, "%s (%s %d x %d, %s) on %s: %s", name.c_str(),
                      spaceName(fileSpace), image.width, image.height, image.format.c_str(),
                      page.name.c_str(), htText.c_str());
    res.description = line;
    std::snprintf(
        line, sizeof line,
        "page %d x %d device pixels, image %d x %d (%.1f x %.1f mm%s) at (%d, %d)%s, margin %g mm",
        pageW, pageH, iw, ih, place.printedW, place.printedH, place.fitted ? ", fitted" : "", x0,
        y0, rotate ? ", turned a quarter" : "", st.marginMm);
    res.details.push_back(line);

    // A PDF page is rendered straight at the size it takes on the page, so
    // its device pixels are its own, a band of lines at a time; each band
    // goes through the colour step as it comes.
    std::optional<Resampler> scaler;
    Image band;
    int bandStart = 0;
    double renderTime = 0;  // counted as reading, not scaling
    if (pdf) {
        const int bandLines =
            int(std::clamp<size_t>(kBandBytes / (size_t(iw) * 7), 16, size_t(ih)));
        scaler.emplace(
            iw, ih, ink.channels(),
            [&, bandLines](int sy) {
                if (band.pixels.empty() || sy < bandStart || sy >= bandStart + band.height) {
                    const double r = cpuNow();
                    bandStart = sy;
                    Image rgb = pdf->render(iw, ih, rotate, sy, std::min(bandLines, ih - sy));
                    if (!st.inputProfile.empty())
                        applyInputProfile(rgb, source.file, st.inputProfile);
                    band = toInk(rgb);
                    renderTime += since(r);
                }
                return band.pixels.data() +
                       size_t(sy - bandStart) * size_t(iw) * size_t(band.channels());
            },
            iw, ih);
        std::snprintf(
            line, sizeof line,
            "rendered at %.0f x %.0f dpi, straight to device pixels, in bands of %d lines",
            iw / ((rotate ? sourceH : sourceW) / 72.0), ih / ((rotate ? sourceW : sourceH) / 72.0),
            bandLines);
        res.details.push_back(line);
    } else {
        scaler.emplace(ink, iw, ih);
    }
    std::vector<uint8_t> planes(stride * inkNames.size()),
        seen(footprint.wide() ? stride * inkNames.size() : 0);
    Progress own(pageH, pageW, !shared && !st.quiet && Progress::terminalAttached());
    Progress& progress = shared ? *shared : own;
    const int perByte = 8 / bits;
    bool dirty = false;
    for (int y = 0; y < pageH; ++y) {
        if (dirty) std::fill(planes.begin(), planes.end(), 0), dirty = false;
        if (y >= y0 && y < y0 + ih) {
            const double s = cpuNow();
            const uint8_t* src = scaler->row(y - y0);
            const double h = cpuNow();
            res.time.scale += h - s;
            halftone.line(src, planes.data() + size_t(x0 / perByte), int32_t(stride), x0 % perByte,
                          iw, x0, y);
            const double p = cpuNow();
            res.time.halftone += p - h;
            for (size_t k = 0; k < writers.size(); ++k)
                countDots(planes.data() + k * stride, rowBytes, bits, res.planes[k].counts);
            if (!footprint.wide()) {
                preview.addLine(y, planes.data(), stride, x0, x0 + iw);
            } else {
                for (size_t k = 0; k < writers.size(); ++k) {
                    footprint.spread(planes.data() + k * stride, pageW, seen.data() + k * stride);
                    countDots(seen.data() + k * stride, rowBytes, bits, seenCounts[k]);
                }
                preview.addLine(y, seen.data(), stride, x0, std::min(pageW, x0 + iw + 1));
            }
            res.time.preview += since(p);
            dirty = true;
        }
        const double w = cpuNow();
        for (size_t k = 0; k < writers.size(); ++k) writers[k]->row(planes.data() + k * stride);
        res.time.write += since(w);
        progress.advance(1);
    }
    if (!shared) progress.finish();
    res.time.read += renderTime;
    res.time.scale -= renderTime;
    t = cpuNow();
    for (auto& w : writers) w->close();
    halftone.close();
    inkTable.close();
    if (rgbTable) rgbTable->close();
    res.time.write += since(t);

    t = cpuNow();
    res.images = {st.outDir / "preview.png", st.outDir / "preview-crop.png"};
    writeImage(res.images[0], preview.preview(), true);
    writeImage(res.images[1], preview.crop(), true);
    res.time.preview += since(t);

    // The area each plane's dots cover, as the paper sees them.
    for (size_t k = 0; k < res.planes.size(); ++k) {
        const DotCounts& c = footprint.wide() ? seenCounts[k] : res.planes[k].counts;
        res.planes[k].covered = bits == 1 ? double(c.large) * model->cover(1, 1)
                                          : double(c.small) * model->cover(2, 1) +
                                                double(c.medium) * model->cover(2, 2) +
                                                double(c.large) * model->cover(2, 3);
    }

    res.bits = bits;
    res.imageX = x0, res.imageY = y0, res.imageWidth = iw, res.imageHeight = ih;
    res.pageWidth = pageW, res.pageHeight = pageH, res.xResolution = xres, res.yResolution = yres;
    res.rotated = rotate;
    res.inkNames = inkNames;
    res.modelMedia = model->media;
    res.separationTable = inkTable.table();
    if (rgbTable) res.rgbTable = rgbTable->table();
    res.pagePixels = uint64_t(pageW) * uint64_t(pageH);
    res.imagePixels = uint64_t(iw) * uint64_t(ih);
    res.time.total = std::chrono::duration<double>(Clock::now() - start).count();
    res.cpuSeconds = since(cpuStart);
    return res;
}

void writeInkTable(const PrintResult& r, FILE* out) {
    const double page = double(std::max<uint64_t>(1, r.pagePixels));
    if (r.bits == 2)
        std::fprintf(out, "  %-14s %8s %8s %8s %8s %9s\n", "ink", "dots", "small", "medium",
                     "large", "coverage");
    else
        std::fprintf(out, "  %-14s %8s %9s\n", "ink", "dots", "coverage");
    for (const PlaneResult& p : r.planes) {
        const DotCounts& c = p.counts;
        // One-bit planes count their dots as large.
        const double cover = p.covered / page * 100.0;
        if (r.bits == 2)
            std::fprintf(out, "  %-14s %7.2f%% %7.2f%% %7.2f%% %7.2f%% %8.2f%%\n", p.ink.c_str(),
                         double(c.dots()) / page * 100, double(c.small) / page * 100,
                         double(c.medium) / page * 100, double(c.large) / page * 100, cover);
        else
            std::fprintf(out, "  %-14s %7.2f%% %8.2f%%\n", p.ink.c_str(),
                         double(c.dots()) / page * 100, cover);
    }
}

void writeSummary(const PrintResult& r, FILE* out) {
    std::fprintf(out, "inkdot: %s\n", r.description.c_str());
    for (const std::string& d : r.details) std::fprintf(out, "  %s\n", d.c_str());
    writeInkTable(r, out);
    const auto& t = r.time;
    std::fprintf(out,
                 "  time %s (processor %s) for %.1f Mpx, %.1f Mpx/s: read %s, colour %s, setup %s, "
                 "scale %s, "
                 "halftone %s, preview %s, write %s\n",
                 formatSeconds(t.total).c_str(), formatSeconds(r.cpuSeconds).c_str(),
                 double(r.pagePixels) / 1e6,
                 double(r.pagePixels) / 1e6 / std::max(1e-9, r.cpuSeconds),
                 formatSeconds(t.read).c_str(), formatSeconds(t.colour).c_str(),
                 formatSeconds(t.setup).c_str(), formatSeconds(t.scale).c_str(),
                 formatSeconds(t.halftone).c_str(), formatSeconds(t.preview).c_str(),
                 formatSeconds(t.write).c_str());
    std::string files;
    for (const PlaneResult& p : r.planes)
        files += (files.empty() ? "" : ", ") + p.file.filename().string();
    for (const auto& f : r.images) files += ", " + f.filename().string();
    if (!r.planes.empty())
        std::fprintf(out, "  wrote %s in %s\n", files.c_str(),
                     r.planes[0].file.parent_path().c_str());
}

}  // namespace inkdot::cli
