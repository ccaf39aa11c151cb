// inkdot: runs a colour ink-jet printer driver's whole sequence on an image.
//
//   inkdot print FILE... -o DIR [--pages 1-3,5] [-j N] [--pack DIR --media ... --resolution
//   1440x720 ...] inkdot info PACK inkdot table PACK -o FILE [--media ... --quality ... --dots 2
//   --inks six] inkdot chart -o FILE [--width 1240 --height 1754] inkdot target -o DIR
//   [--cmy-levels 9 --k-levels 5 --patch-mm 6 ...] inkdot colour-report -o DIR [--pack DIR --media
//   ... | --all-media] [--summary FILE]
#include <CLI/CLI.hpp>

#include <cctype>
#include <cstdio>
#include <map>
#include <optional>

#include "src/colour_report.h"
#include "src/command_line.h"
#include "src/commands.h"
#include "src/driver.h"
#include "src/failure.h"
#include "src/job.h"
#include "src/pack.h"
#include "src/target.h"

using namespace inkdot::cli;

namespace {

// The pack's offers for the help text: from the pack the command line
// names (--pack), else the one it would find; none when there is none.
std::optional<PackOffers> helpOffers(int argc, char** argv) {
    std::filesystem::path given;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--pack" && i + 1 < argc)
            given = argv[i + 1];
        else if (a.rfind("--pack=", 0) == 0)
            given = a.substr(7);
    }
    try {
        Pack pack(locatePack(given).dir);
        return packOffers(pack);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string offered(const std::optional<PackOffers>& offers,
                    std::vector<std::string> PackOffers::*names, const char* without) {
    return offers ? "the pack offers " + choiceList((*offers).*names) + "; any case"
                  : std::string(without);
}

// The settings `print`, `table`, `target` and `colour-report` take.
void addSelectionOptions(CLI::App* app, PrintSettings& st,
                         const std::optional<PackOffers>& offers) {
    app->add_option("--pack", st.pack,
                    "resource pack directory (default: $INKDOT_PACK, else the installed pack)");
    app->add_option("--media", st.media,
                    "media: " + offered(offers, &PackOffers::media, "a name from the pack's index"))
        ->capture_default_str();
    app->add_option(
        "--quality", st.quality,
        "print quality: " + offered(offers, &PackOffers::qualities, "a name of the pack's") +
            " (or its number; default: normal, or the one at --resolution)");
    app->add_option("--resolution", st.resolution,
                    "2880x720, 1440x720, 720x720, 720x360 or 360x720 dpi "
                    "(default: the quality's)");
    app->add_option("--dots", st.bits, "bits a dot: 1, or 2 for small, medium and large dots")
        ->check(CLI::IsMember({1, 2}))
        ->capture_default_str();
    app->add_option("--variant", st.variant,
                    "variant: " + offered(offers, &PackOffers::variants, "standard or economy"))
        ->capture_default_str();
    app->add_option("--colour-mode", st.colourMode,
                    "colour mode: " +
                        offered(offers, &PackOffers::colourModes, "a name from the pack's index"))
        ->capture_default_str();
    app->add_option(
           "--intent", st.intent,
           "intent: " + offered(offers, &PackOffers::intents, "a name from the pack's index"))
        ->capture_default_str();
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "inkdot: colour matching and halftoning for a colour ink-jet printer, as its driver runs "
        "them"};
    app.footer(kExitStatusText);
    app.require_subcommand(1);
    app.set_version_flag("--version", "inkdot " INKDOT_VERSION);
    const std::optional<PackOffers> offers = helpOffers(argc, argv);

    PrintSettings st;
    std::string method = "diffusion", inks = "auto";
    JobOptions job;
    std::string pages;
    auto* print = app.add_subcommand(
        "print",
        "print images and documents: plane files and preview.png into a directory "
        "(a folder a page when there are more pages)");
    print
        ->add_option("FILE", job.files,
                     "PNG, JPEG, TIFF (also CMYK, every page), WebP or PNM image, or PDF document")
        ->required();
    print->add_option("-o,--output", st.outDir, "output directory")->required();
    print->add_option("--pages", pages,
                      "the pages of each file to print: 1-3,5 or 4- (default: every page)");
    print
        ->add_option("-j,--jobs", job.threads,
                     "pages printed at once (default: one a processor core, " +
                         std::to_string(availableCores()) + " here)")
        ->check(CLI::Range(1, 1024));
    addSelectionOptions(print, st, offers);
    print->add_option("--method", method, "diffusion, ordered (blue noise) or bayer")
        ->check(CLI::IsMember({"diffusion", "ordered", "bayer"}, CLI::ignore_case))
        ->capture_default_str();
    print
        ->add_option("--inks", inks, "six (colour), black (one ink) or auto (grey images in black)")
        ->check(CLI::IsMember({"auto", "six", "black"}, CLI::ignore_case))
        ->capture_default_str();
    print->add_option("--brightness", st.brightness, "-50 to 50")->capture_default_str();
    print->add_option("--contrast", st.contrast, "-50 to 50")->capture_default_str();
    print->add_option("--saturation", st.saturation, "-50 to 50")->capture_default_str();
    print->add_option("--gamma", st.gamma, "1.0 to 3.0")->capture_default_str();
    print
        ->add_option("--page", st.page,
                     "A3, A4, A5, A6, Letter, Legal or WIDTHxHEIGHT in mm or in (100x150mm, 4x6in)")
        ->capture_default_str();
    print->add_option("--margin", st.marginMm, "margin around the image, mm")
        ->capture_default_str();
    print->add_option("--rotate", st.rotate, "turn the image a quarter: auto (to fit), yes, no")
        ->check(CLI::IsMember({"auto", "yes", "no"}, CLI::ignore_case))
        ->capture_default_str();
    print->add_option("--preview-width", st.previewWidth, "width of preview.png in pixels")
        ->capture_default_str();
    print
        ->add_option("--crop-at", st.cropAtMm,
                     "centre of preview-crop.png on the page: X Y in mm "
                     "(default: the image's centre)")
        ->expected(2)
        ->delimiter(',');
    print->add_option("--input-profile", st.inputProfile,
                      "ICC profile of the image's colours, in place of the one it "
                      "embeds (default: the embedded one, else sRGB for RGB and "
                      "grey, plain ink amounts for CMYK)");
    auto* size = print->add_option("--size", st.size,
                                   "printed size of the image: a box WIDTHxHEIGHT in mm or in "
                                   "(90x60mm, 4x6in) it fills keeping its shape (default: fit the "
                                   "page inside the margin)");
    auto* dpi =
        print->add_option("--dpi", st.dpi,
                          "the image's resolution, pixels an inch: it prints at its own size "
                          "(with --scale: 300 when not given)");
    auto* scale =
        print->add_option("--scale", st.scalePercent, "percent of the image's size at its --dpi");
    size->excludes(dpi)->excludes(scale);
    std::string planeFormat = "tiff";
    print
        ->add_option("--planes", planeFormat,
                     "plane files: tiff (one-bit Group 4, two-bit 2 bits a sample), "
                     "pnm (PBM or PGM) or raw (.plane)")
        ->check(CLI::IsMember({"tiff", "pnm", "raw"}, CLI::ignore_case))
        ->capture_default_str();
    print->add_flag("-q,--quiet", st.quiet, "no progress bar and no summary");

    std::string infoPack;
    auto* info =
        app.add_subcommand("info", "list a resource pack: settings, index lines, resources");
    info->add_option("PACK", infoPack, "pack directory (default: as --pack finds it)");

    std::string tableOut;
    int32_t records = -1;
    PrintSettings tst;
    std::string tableInks = "six";
    bool tableRaw = false;
    auto* table = app.add_subcommand(
        "table", "write the halftone table image: a PNG picture of it, or its bytes with --raw");
    table
        ->add_option("-o,--output", tableOut,
                     "output file: FILE.png (a picture of its bytes), any name with --raw")
        ->required();
    table->add_flag("--raw", tableRaw, "write the table image's bytes as the library gives them");
    addSelectionOptions(table, tst, offers);
    table->add_option("--inks", tableInks, "six or black")
        ->check(CLI::IsMember({"six", "black"}, CLI::ignore_case))
        ->capture_default_str();
    table->add_option("--records", records,
                      "level-record resource for two-bit dots (default: the table's own)");

    std::string chartOut;
    int chartWidth = 1240, chartHeight = 1754;
    auto* chart = app.add_subcommand("chart", "write the sample colour test chart");
    chart->add_option("-o,--output", chartOut, "image file (.png, .tif, .jpg, .ppm, .pam)")
        ->required();
    chart->add_option("--width", chartWidth, "pixels")->capture_default_str();
    chart->add_option("--height", chartHeight, "pixels")->capture_default_str();

    PrintSettings rst;
    rst.media = "PhotoGlossy";
    rst.resolution = "1440x720";
    std::filesystem::path reportOut;
    std::string reportMethod = "diffusion", summaryOut;
    bool allMedia = false;
    auto* report = app.add_subcommand(
        "colour-report",
        "print a standard chart through a pack and report intended against printed colour");
    report->add_option("-o,--output", reportOut, "output directory")->required();
    addSelectionOptions(report, rst, offers);
    report->add_option("--method", reportMethod, "diffusion, ordered (blue noise) or bayer")
        ->check(CLI::IsMember({"diffusion", "ordered", "bayer"}, CLI::ignore_case))
        ->capture_default_str();
    report->add_flag("--all-media", allMedia,
                     "every media of the pack, each in a folder of its own");
    report->add_option("--summary", summaryOut,
                       "also write the figures of every media as a Markdown table to this file");

    PrintSettings tgs;
    std::filesystem::path targetOut;
    inkdot::colour::TargetGrid targetGrid;
    double patchMm = 6.0;
    std::string targetMethod = "diffusion";
    auto* target =
        app.add_subcommand("target",
                           "print the patch target a real printer is characterised from, with a "
                           "CGATS file of its device values");
    target->add_option("-o,--output", targetOut, "output directory")->required();
    addSelectionOptions(target, tgs, offers);
    target
        ->add_option("--cmy-levels", targetGrid.cmyLevels,
                     "levels of cyan, magenta and yellow (2 to 33)")
        ->capture_default_str();
    target->add_option("--k-levels", targetGrid.kLevels, "levels of black (2 to 33)")
        ->capture_default_str();
    target->add_option("--patch-mm", patchMm, "smallest patch size, mm")->capture_default_str();
    target
        ->add_option("--page", tgs.page,
                     "A3, A4, A5, A6, Letter, Legal or WIDTHxHEIGHT in mm or in")
        ->capture_default_str();
    target->add_option("--margin", tgs.marginMm, "margin around the patches, mm")
        ->capture_default_str();
    target->add_option("--method", targetMethod, "diffusion, ordered (blue noise) or bayer")
        ->check(CLI::IsMember({"diffusion", "ordered", "bayer"}, CLI::ignore_case))
        ->capture_default_str();

    if (const std::optional<int> status = parseCommandLine(app, argc, argv)) return *status;

    // Choices are taken in any case and compared in lower case.
    for (std::string* choice :
         {&method, &inks, &st.rotate, &planeFormat, &tableInks, &reportMethod, &targetMethod})
        for (char& c : *choice) c = char(std::tolower(static_cast<unsigned char>(c)));

    try {
        // Every command's pack: --pack, else INKDOT_PACK, else the installed one.
        for (auto [command, settings] :
             {std::pair{print, &st}, {table, &tst}, {report, &rst}, {target, &tgs}})
            if (*command) settings->pack = locatePack(settings->pack).dir;
        if (*print) {
            st.method = method == "diffusion" ? Method::Diffusion
                        : method == "ordered" ? Method::Ordered
                                              : Method::Bayer;
            st.inks = inks == "six" ? InkSet::Six : inks == "black" ? InkSet::Black : InkSet::Auto;
            st.planeFormat = parsePlaneFormat(planeFormat);
            st.image = job.files.front();
            if (!pages.empty()) job.pages = PageSelection(pages);
            return runPrintJob(st, job, stdout, stderr);
        }
        if (*info) return runInfo(locatePack(infoPack).dir);
        if (*table) {
            tst.inks = tableInks == "black" ? InkSet::Black : InkSet::Six;
            runTable(tst, tableOut, records, tableRaw);
            return kExitOk;
        }
        if (*chart) {
            runChart(chartOut, chartWidth, chartHeight);
            return kExitOk;
        }
        if (*target) {
            tgs.method = targetMethod == "diffusion" ? Method::Diffusion
                         : targetMethod == "ordered" ? Method::Ordered
                                                     : Method::Bayer;
            if (targetGrid.cmyLevels < 2 || targetGrid.cmyLevels > 33 || targetGrid.kLevels < 2 ||
                targetGrid.kLevels > 33)
                throw Failure(kExitUsage, "a target has 2 to 33 levels of each ink");
            runTarget(tgs, targetOut, targetGrid, patchMm, stdout);
            return kExitOk;
        }
        if (*report) {
            rst.method = reportMethod == "diffusion" ? Method::Diffusion
                         : reportMethod == "ordered" ? Method::Ordered
                                                     : Method::Bayer;
            rst.inks = InkSet::Six;
            std::vector<std::string> media{rst.media};
            if (allMedia) media = Pack(rst.pack).mediaNames();
            std::vector<MediaReport> reports;
            for (const std::string& m : media) {
                PrintSettings one = rst;
                one.media = m;
                const std::filesystem::path dir = allMedia ? reportOut / m : reportOut;
                reports.push_back(colourReport(one, dir));
                writeReport(reports.back(), dir, stdout);
            }
            if (!summaryOut.empty()) {
                std::FILE* f = std::fopen(summaryOut.c_str(), "w");
                if (!f) throw Failure(kExitOutput, "cannot write " + summaryOut);
                std::fputs(reportSummaryMarkdown(reports).c_str(), f);
                std::fclose(f);
            }
            return kExitOk;
        }
    } catch (const Failure& f) {
        std::fflush(stdout);
        std::fprintf(stderr, "inkdot: %s\n", f.what());
        return f.status();
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "inkdot: %s\n", e.what());
        return kExitUnexpected;
    }
    return kExitUsage;
}
