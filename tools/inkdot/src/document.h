// Documents: the pages of the files a print job is given. An image file
// holds one page (a TIFF may hold many); a PDF holds pages that are drawn,
// not stored, and are rendered here through Poppler at the resolution the
// printer needs, a band of lines at a time.
#pragma once

#include <climits>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "image.h"

namespace poppler {
class document;
class page;
}  // namespace poppler

namespace inkdot::cli {

// The pages a user picks: "1-3,5", "4-" (4 to the end); empty: every page.
// Page numbers count from 1.
class PageSelection {
public:
    PageSelection() = default;
    // Throws Failure(kExitUsage) naming what is wrong.
    explicit PageSelection(const std::string& text);

    bool everyPage() const { return ranges_.empty(); }
    bool picks(int number) const;
    // The numbers it picks of a document of `count` pages, in order, each once.
    std::vector<int> pick(int count) const;
    const std::string& text() const { return text_; }

private:
    struct Range {
        int first, last;
    };
    std::vector<Range> ranges_;
    std::string text_;
};

// One page of one input file.
struct InputPage {
    std::filesystem::path file;
    FileKind kind = FileKind::Png;
    int index = 0;  // from 0
    int pagesInFile = 1;
};

// The pages of `file` the selection picks. Throws Failure(kExitImage) when
// the file cannot be opened or holds none of the picked pages.
std::vector<InputPage> listPages(const std::filesystem::path& file, const PageSelection& selection);

// A page of a PDF, open for rendering. Poppler is shared by every thread of
// the process and is not known to be safe to call from several at once, so
// every call into it (opening, rendering) holds one lock; the rest of a
// page's work runs in parallel.
class PdfPage {
public:
    // Throws Failure(kExitImage): not a PDF, damaged, locked by a password,
    // no such page.
    PdfPage(const std::filesystem::path& file, int index);
    ~PdfPage();
    PdfPage(const PdfPage&) = delete;
    PdfPage& operator=(const PdfPage&) = delete;

    // The page as it is meant to be seen (its own rotation applied), in
    // points (1/72 inch).
    double widthPt() const { return widthPt_; }
    double heightPt() const { return heightPt_; }

    // Lines [y, y + lines) of the page rendered `width` x `height` pixels
    // large (turned a quarter clockwise first when `turned`, so then
    // `width` spans the page's height), as RGB on white paper. Throws
    // Failure(kExitImage) when Poppler cannot render it.
    Image render(int width, int height, bool turned, int y, int lines) const;

private:
    std::filesystem::path file_;
    int index_;
    std::unique_ptr<poppler::document> document_;
    std::unique_ptr<poppler::page> page_;
    double widthPt_ = 0, heightPt_ = 0;
    int rotation_ = 0;  // the page's own, degrees clockwise
};

// The pages of a PDF; throws Failure(kExitImage).
int pdfPageCount(const std::filesystem::path& file);

}  // namespace inkdot::cli
