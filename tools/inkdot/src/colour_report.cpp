#include "colour_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>

#include "colour/characterise.h"
#include "colour/patch_print.h"
#include "driver.h"
#include "failure.h"
#include "image.h"
#include "pack.h"
#include "planes.h"

namespace inkdot::cli {
namespace {

namespace fs = std::filesystem;

constexpr int kCell = 72, kPatch = 60, kColumns = 12;

std::string fmt(const char* f, double a, double b = 0, double c = 0) {
    char buf[128];
    std::snprintf(buf, sizeof buf, f, a, b, c);
    return buf;
}

// The hue difference in degrees, -180..180.
double hueShift(const colour::Lab& a, const colour::Lab& b) {
    double d = colour::hueDegrees(b) - colour::hueDegrees(a);
    while (d > 180) d -= 360;
    while (d < -180) d += 360;
    return d;
}

// The chart as an sRGB image: a patch a cell, row by row.
Image chartImage(const std::vector<ReportPatch>& patches) {
    Image img;
    img.space = ColourSpace::Rgb;
    img.width = kColumns * kCell;
    img.height = int((patches.size() + kColumns - 1) / kColumns) * kCell;
    img.pixels.assign(size_t(img.width) * size_t(img.height) * 3, 255);
    for (size_t i = 0; i < patches.size(); ++i) {
        const int x0 = int(i % kColumns) * kCell + (kCell - kPatch) / 2,
                  y0 = int(i / kColumns) * kCell + (kCell - kPatch) / 2;
        for (int y = y0; y < y0 + kPatch; ++y)
            for (int x = x0; x < x0 + kPatch; ++x)
                std::copy(patches[i].rgb.begin(), patches[i].rgb.end(),
                          &img.pixels[(size_t(y) * size_t(img.width) + size_t(x)) * 3]);
    }
    return img;
}

}  // namespace

std::vector<ReportPatch> reportChart() {
    std::vector<ReportPatch> out;
    const std::pair<const char*, std::array<uint8_t, 3>> checker[] = {
        {"dark skin", {115, 82, 68}},     {"light skin", {194, 150, 130}},
        {"blue sky", {98, 122, 157}},     {"foliage", {87, 108, 67}},
        {"blue flower", {133, 128, 177}}, {"bluish green", {103, 189, 170}},
        {"orange", {214, 126, 44}},       {"purplish blue", {80, 91, 166}},
        {"moderate red", {193, 90, 99}},  {"purple", {94, 60, 108}},
        {"yellow green", {157, 188, 64}}, {"orange yellow", {224, 163, 46}},
        {"blue", {56, 61, 150}},          {"green", {70, 148, 73}},
        {"red", {175, 54, 60}},           {"yellow", {231, 199, 31}},
        {"magenta", {187, 86, 149}},      {"cyan", {8, 133, 161}},
        {"white 9.5", {243, 243, 242}},   {"neutral 8", {200, 200, 200}},
        {"neutral 6.5", {160, 160, 160}}, {"neutral 5", {122, 122, 121}},
        {"neutral 3.5", {85, 85, 85}},    {"black 2", {52, 52, 52}},
    };
    for (const auto& [name, rgb] : checker) out.push_back({"checker", name, rgb});
    for (int i = 0; i <= 20; ++i) {
        const auto v = uint8_t(std::lround(255.0 * (1.0 - i / 20.0)));
        out.push_back({"grey", std::to_string(i * 5) + " %", {v, v, v}});
    }
    const std::pair<const char*, std::array<int, 3>> ramps[] = {
        {"red", {255, 0, 0}},    {"green", {0, 255, 0}},     {"blue", {0, 0, 255}},
        {"cyan", {0, 255, 255}}, {"magenta", {255, 0, 255}}, {"yellow", {255, 255, 0}}};
    for (const auto& [name, full] : ramps)
        for (int step = 1; step <= 10; ++step) {
            std::array<uint8_t, 3> rgb{};
            for (size_t c = 0; c < 3; ++c)
                rgb[c] = uint8_t(std::lround(255 - (255 - full[c]) * step / 10.0));
            out.push_back(
                {"ramp", std::string(name) + " " + std::to_string(step * 10) + " %", rgb});
        }
    return out;
}

MediaReport colourReport(PrintSettings st, const fs::path& outDir) {
    const std::vector<ReportPatch> patches = reportChart();
    fs::create_directories(outDir);
    const Image chart = chartImage(patches);
    st.image = outDir / "chart.png";
    writeImage(st.image, chart);
    st.outDir = outDir / "print";
    st.rotate = "no";
    st.quiet = true;
    const PrintResult printed = printImage(st);
    if (printed.rotated || printed.imageWidth <= 0)
        throw Failure(kExitOutput, "the chart did not print as laid out");

    // The planes back, and each patch's inner part measured.
    std::vector<PlaneHeader> headers;
    std::vector<std::vector<uint8_t>> planes;
    for (const PlaneResult& p : printed.planes) {
        Plane plane = readPlaneFile(p.file);
        headers.push_back(plane.header);
        planes.push_back(std::move(plane.rows));
    }
    const colour::InkModel model = *colour::InkModel::forMedia(printed.modelMedia);
    std::vector<colour::InkId> inks;
    for (const std::string& name : printed.inkNames)
        inks.push_back(colour::inkByName(name).value_or(colour::InkId::Black));
    const int bits = printed.bits;
    const std::vector<colour::Linear> look = model.combinations(inks, bits);
    // Measured as the paper sees the dots (two pixels wide at 2880 dpi).
    const colour::Footprint footprint(model, bits, printed.xResolution);
    if (footprint.wide())
        for (size_t k = 0; k < planes.size(); ++k)
            for (uint32_t y = 0; y < headers[k].height; ++y) {
                uint8_t* row = &planes[k][size_t(y) * headers[k].rowBytes];
                footprint.spread(row, int(headers[k].width), row);
            }
    const colour::ColourSpaces spaces;
    const double sx = double(printed.imageWidth) / chart.width,
                 sy = double(printed.imageHeight) / chart.height;

    MediaReport report;
    report.media = printed.modelMedia;
    report.settings = printed.description;
    for (size_t i = 0; i < patches.size(); ++i) {
        // The middle 60 % of the patch, away from the scaling's blend with
        // the white around it and the diffusion's settling at its edges.
        const double px = double(i % kColumns) * kCell + (kCell - kPatch) / 2.0,
                     py = double(i / kColumns) * kCell + (kCell - kPatch) / 2.0;
        const int x0 = printed.imageX + int(std::ceil((px + 0.2 * kPatch) * sx)),
                  x1 = printed.imageX + int((px + 0.8 * kPatch) * sx);
        const int y0 = printed.imageY + int(std::ceil((py + 0.2 * kPatch) * sy)),
                  y1 = printed.imageY + int((py + 0.8 * kPatch) * sy);
        colour::Linear sum;
        size_t count = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const size_t e = colour::combinationAt(int(planes.size()), bits, x, [&](int k) {
                    return &planes[size_t(k)][size_t(y) * headers[size_t(k)].rowBytes];
                });
                sum.r += look[e].r, sum.g += look[e].g, sum.b += look[e].b;
                ++count;
            }
        if (!count) throw Failure(kExitOutput, "the chart printed too small to measure");
        PatchResult r;
        r.patch = patches[i];
        r.intended = spaces.labFromSrgb(r.patch.rgb[0], r.patch.rgb[1], r.patch.rgb[2]);
        r.printed =
            colour::relativeLab(spaces, {sum.r / count, sum.g / count, sum.b / count}, model.paper);
        r.deltaE = colour::deltaE2000(r.intended, r.printed);
        report.patches.push_back(r);
    }

    // What the inks reach: a target printed through the same six-ink table
    // and halftoning, measured, and its gamut's boundary; a colour is
    // reachable when it lies inside, above the darkest grey.
    Pack pack(st.pack);
    const respack::Bytes table = pack.resource(printed.separationTable, Role::ColourTable4d);
    const colour::ResourceSource source = [&pack](int32_t n) -> const respack::Bytes& {
        return pack.resource(n, Role::Any);
    };
    const colour::PatchPrinter printer(table, source,
                                       {printed.xResolution, printed.yResolution, bits,
                                        st.method == Method::Diffusion, printed.halftoneList},
                                       model);
    colour::Measurements target{{9, 5}, {}};
    for (const colour::Linear& v : printer.printCmyk(target.grid.patches()))
        target.lab.push_back(colour::relativeLab(spaces, v, model.paper));
    const colour::PrinterModel printerModel(std::move(target));
    // Within the ink limit of the RGB table the chart went through, which
    // the pack sets per media: what that table cannot use, it cannot reach.
    colour::RgbTableDesign design;
    if (const nlohmann::json* entry =
            printed.rgbTable >= 0 ? pack.entry(printed.rgbTable) : nullptr)
        if (const auto* parameters =
                entry->contains("parameters") ? &(*entry)["parameters"] : nullptr;
            parameters && parameters->contains("inkLimit"))
            design.inkLimit = (*parameters)["inkLimit"].get<int>();
    const colour::GamutMapping gamut(printerModel, design, spaces);
    // The ink black: the darkest grey the page prints, as measured on the
    // chart's large patches (small target patches, where the diffusion has
    // not settled, print solid black a little darker than a large area does).
    report.blackL = 100.0;
    for (const PatchResult& r : report.patches)
        if (r.patch.group == "grey") report.blackL = std::min(report.blackL, r.printed.L);

    double all = 0, reach = 0;
    int checker = 0;
    for (PatchResult& r : report.patches) {
        const double c = colour::chroma(r.intended);
        // (A unit of chroma of slack: the boundary is sampled.)
        r.reachable = r.intended.L >= report.blackL &&
                      c <= gamut.printerChroma(r.intended.L, colour::hueDegrees(r.intended)) + 1.0;
        if (r.patch.group == "checker") {
            ++checker;
            all += r.deltaE;
            report.checkerMax = std::max(report.checkerMax, r.deltaE);
            if (r.reachable) {
                ++report.reachable;
                reach += r.deltaE;
                report.reachableMax = std::max(report.reachableMax, r.deltaE);
            } else {
                report.worstHueShift =
                    std::max(report.worstHueShift, std::abs(hueShift(r.intended, r.printed)));
            }
        }
        if (r.patch.group == "grey" && r.patch.rgb[0] <= 230 && r.intended.L > report.blackL) {
            report.greyMaxA = std::max(report.greyMaxA, std::abs(r.printed.a));
            report.greyMaxB = std::max(report.greyMaxB, std::abs(r.printed.b));
            report.greyMaxL = std::max(report.greyMaxL, std::abs(r.printed.L - r.intended.L));
        }
    }
    report.checkerMean = checker ? all / checker : 0;
    report.reachableMean = report.reachable ? reach / report.reachable : 0;
    return report;
}

void writeReport(const MediaReport& r, const fs::path& outDir, FILE* out) {
    std::fprintf(out, "colour report: %s\n", r.settings.c_str());
    std::fprintf(out, "  %-22s %-20s %-20s %6s  %s\n", "patch", "intended L a b", "printed L a b",
                 "dE00", "");
    std::ofstream csv(outDir / "report.csv");
    csv << "group,patch,r,g,b,intended L,intended a,intended b,printed L,printed a,printed "
           "b,dE00,reachable\n";
    for (const PatchResult& p : r.patches) {
        std::fprintf(out, "  %-22s %6.1f %6.1f %6.1f %6.1f %6.1f %6.1f %6.2f  %s\n",
                     (p.patch.group + " " + p.patch.name).c_str(), p.intended.L, p.intended.a,
                     p.intended.b, p.printed.L, p.printed.a, p.printed.b, p.deltaE,
                     p.reachable ? "" : "(beyond the inks)");
        csv << p.patch.group << ',' << p.patch.name << ',' << int(p.patch.rgb[0]) << ','
            << int(p.patch.rgb[1]) << ',' << int(p.patch.rgb[2]) << ',' << p.intended.L << ','
            << p.intended.a << ',' << p.intended.b << ',' << p.printed.L << ',' << p.printed.a
            << ',' << p.printed.b << ',' << p.deltaE << ',' << (p.reachable ? "yes" : "no") << '\n';
    }
    std::fprintf(
        out,
        "  colour checker: mean dE00 %.2f, max %.2f; the %d the inks reach: mean %.2f, max %.2f; "
        "the rest keep their hue within %.1f degrees\n",
        r.checkerMean, r.checkerMax, r.reachable, r.reachableMean, r.reachableMax, r.worstHueShift);
    std::fprintf(out,
                 "  greys 10 %% to 100 %% above the ink black (L* %.1f): |a*| <= %.2f, |b*| <= "
                 "%.2f, |dL*| <= %.2f\n",
                 r.blackL, r.greyMaxA, r.greyMaxB, r.greyMaxL);

    // The picture: each patch as intended (left) and as printed (right,
    // relative to the paper, so both are on the same white).
    const colour::ColourSpaces spaces;
    Image img;
    img.space = ColourSpace::Rgb;
    img.width = kColumns * kCell;
    img.height = int((r.patches.size() + kColumns - 1) / kColumns) * kCell;
    img.pixels.assign(size_t(img.width) * size_t(img.height) * 3, 255);
    for (size_t i = 0; i < r.patches.size(); ++i) {
        const std::array<uint8_t, 3> want = r.patches[i].patch.rgb,
                                     got = spaces.srgbFromLab(r.patches[i].printed);
        const int x0 = int(i % kColumns) * kCell + (kCell - kPatch) / 2,
                  y0 = int(i / kColumns) * kCell + (kCell - kPatch) / 2;
        for (int y = y0; y < y0 + kPatch; ++y)
            for (int x = x0; x < x0 + kPatch; ++x)
                std::copy_n((x < x0 + kPatch / 2 ? want : got).data(), 3,
                            &img.pixels[(size_t(y) * size_t(img.width) + size_t(x)) * 3]);
    }
    writeImage(outDir / "report.png", img);
    std::fprintf(out, "  wrote report.csv and report.png (intended left, printed right) in %s\n",
                 outDir.c_str());
}

std::string reportSummaryMarkdown(const std::vector<MediaReport>& reports) {
    std::string s =
        "| media | colour checker, mean / max dE00 | checker patches the inks reach: mean / max "
        "dE00 | "
        "the rest: worst hue shift | greys 10-100 %: max abs a*, b*, dL* | ink black L* |\n"
        "|---|---|---|---|---|---|\n";
    for (const MediaReport& r : reports)
        s += "| " + r.media + " | " + fmt("%.2f / %.2f", r.checkerMean, r.checkerMax) + " | " +
             fmt("%.0f: ", r.reachable) + fmt("%.2f / %.2f", r.reachableMean, r.reachableMax) +
             " | " + fmt("%.1f degrees", r.worstHueShift) + " | " +
             fmt("%.2f, %.2f, %.2f", r.greyMaxA, r.greyMaxB, r.greyMaxL) + " | " +
             fmt("%.1f", r.blackL) + " |\n";
    return s;
}

}  // namespace inkdot::cli
