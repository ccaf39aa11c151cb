// `inkdot target`: the patch target a printer is characterised from, laid
// out on pages and printed as `inkdot print` prints a CMYK image (straight
// into the six-ink separation), with a CGATS file of its device values for
// the measuring instrument.
#include "target.h"

#include <cmath>
#include <cstdio>
#include <fstream>

#include "colour/cgats.h"
#include "driver.h"
#include "failure.h"
#include "image.h"

namespace inkdot::cli {

namespace fs = std::filesystem;

TargetLayout targetLayout(const PageSize& page, double marginMm, double patchMm, size_t patches) {
    if (!(patchMm >= 2.0))
        throw Failure(kExitUsage,
                      "patches of " + std::to_string(patchMm) + " mm are too small to measure");
    TargetLayout l;
    l.columns = int((page.widthMm - 2 * marginMm) / patchMm);
    l.rows = int((page.heightMm - 2 * marginMm) / patchMm);
    if (l.columns < 1 || l.rows < 1)
        throw Failure(kExitUsage, "no " + std::to_string(patchMm) +
                                      " mm patch fits inside the margins of the page");
    const size_t perPage = size_t(l.columns) * size_t(l.rows);
    l.pages = int((patches + perPage - 1) / perPage);
    return l;
}

std::vector<fs::path> runTarget(PrintSettings st, const fs::path& outDir,
                                const colour::TargetGrid& grid, double patchMm, FILE* out) {
    const std::vector<colour::Cmyk> patches = grid.patches();
    const PageSize page = parsePageSize(st.page);
    const TargetLayout layout = targetLayout(page, st.marginMm, patchMm, patches.size());
    const size_t perPage = size_t(layout.columns) * size_t(layout.rows);
    constexpr int kCell = 16;  // image pixels a patch
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (ec) throw Failure(kExitOutput, "cannot create " + outDir.string() + ": " + ec.message());

    std::vector<fs::path> folders;
    for (int p = 0; p < layout.pages; ++p) {
        // The page as a CMYK image: a cell a patch, row by row from the top
        // left; cells after the last patch stay paper.
        Image img;
        img.space = ColourSpace::Cmyk;
        img.width = layout.columns * kCell;
        img.height = layout.rows * kCell;
        img.pixels.assign(size_t(img.width) * size_t(img.height) * 4, 0);
        for (size_t i = 0; i < perPage && p * perPage + i < patches.size(); ++i) {
            const colour::Cmyk& v = patches[p * perPage + i];
            const uint8_t cmyk[4] = {v.c, v.m, v.y, v.k};
            const int x0 = int(i % size_t(layout.columns)) * kCell,
                      y0 = int(i / size_t(layout.columns)) * kCell;
            for (int y = y0; y < y0 + kCell; ++y)
                for (int x = x0; x < x0 + kCell; ++x)
                    std::copy(cmyk, cmyk + 4,
                              &img.pixels[(size_t(y) * size_t(img.width) + size_t(x)) * 4]);
        }
        const fs::path folder =
            layout.pages == 1 ? outDir : outDir / ("page-" + std::to_string(p + 1));
        fs::create_directories(folder, ec);
        PrintSettings one = st;
        one.image = folder / "target.tif";
        one.outDir = folder;
        one.rotate = "no";
        one.inks = InkSet::Six;
        one.quiet = true;
        writeImage(one.image, img);
        const PrintResult r = printImage(one);
        if (out)
            std::fprintf(out, "page %d: %s\n", p + 1,
                         r.planes.empty() ? "" : r.planes[0].file.parent_path().c_str());
        folders.push_back(folder);
    }

    // The device values, in the order the patches stand on the pages.
    std::vector<std::string> comments = {
        "printed by inkdot target with " + std::to_string(patches.size()) +
            " patches of at least " + std::to_string(patchMm).substr(0, 4) + " mm, " +
            std::to_string(layout.columns) + " across and " + std::to_string(layout.rows) +
            " down a page",
        "patch n stands on page (n - 1) / " + std::to_string(perPage) +
            " + 1, row by row from the top left",
        "measure each patch and add LAB_L LAB_A LAB_B (or XYZ_X XYZ_Y XYZ_Z) to the data format "
        "and every line; then "
        "respack default DIR --measurements MEDIA=FILE"};
    const fs::path cgats = outDir / "target.txt";
    std::ofstream file(cgats, std::ios::trunc);
    file << colour::cgatsText(grid, nullptr, comments);
    if (!file) throw Failure(kExitOutput, "cannot write " + cgats.string());
    if (out)
        std::fprintf(out,
                     "target: %zu patches (%d x %d levels), %d x %d a page on %d page%s; device "
                     "values in %s\n",
                     patches.size(), grid.cmyLevels, grid.kLevels, layout.columns, layout.rows,
                     layout.pages, layout.pages == 1 ? "" : "s", cgats.c_str());
    return folders;
}

}  // namespace inkdot::cli
