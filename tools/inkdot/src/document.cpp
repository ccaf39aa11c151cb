#include "document.h"

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>
#include <poppler/cpp/poppler-image.h>
#include <poppler/cpp/poppler-page-renderer.h>
#include <poppler/cpp/poppler-page.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "failure.h"

namespace inkdot::cli {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void badDocument(const fs::path& path, const std::string& what) {
    throw Failure(kExitImage, "cannot read image " + path.string() + ": " + what);
}

// Every call into Poppler holds this lock (see PdfPage).
std::mutex& popplerLock() {
    static std::mutex lock;
    return lock;
}

// Poppler's complaints about a damaged file, kept for the message a
// failure gives (rather than printed); called under the lock.
std::string& popplerMessage() {
    static std::string message;
    return message;
}

void popplerComplaint(const std::string& message, void*) {
    popplerMessage() = message;
}

std::unique_ptr<poppler::document> openDocument(const fs::path& path) {
    // The caller holds the lock.
    poppler::set_debug_error_function(popplerComplaint, nullptr);
    popplerMessage().clear();
    std::unique_ptr<poppler::document> doc(poppler::document::load_from_file(path.string()));
    if (!doc)
        badDocument(path,
                    "not a PDF document Poppler can open" +
                        (popplerMessage().empty() ? std::string() : " (" + popplerMessage() + ")"));
    if (doc->is_locked()) badDocument(path, "the PDF is protected by a password");
    if (doc->pages() < 1) badDocument(path, "the PDF has no pages");
    return doc;
}

int parseNumber(const std::string& text, const std::string& whole) {
    if (text.empty() || text.size() > 6 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        throw Failure(kExitUsage, "--pages '" + whole + "': '" + text + "' is not a page number");
    const int n = std::stoi(text);
    if (n < 1) throw Failure(kExitUsage, "--pages '" + whole + "': pages count from 1");
    return n;
}

}  // namespace

PageSelection::PageSelection(const std::string& text) : text_(text) {
    size_t at = 0;
    while (at <= text.size()) {
        const size_t comma = std::min(text.find(',', at), text.size());
        std::string part = text.substr(at, comma - at);
        part.erase(std::remove(part.begin(), part.end(), ' '), part.end());
        const size_t dash = part.find('-');
        Range r{};
        if (dash == std::string::npos) {
            r.first = r.last = parseNumber(part, text);
        } else {
            r.first = parseNumber(part.substr(0, dash), text);
            r.last = dash + 1 == part.size() ? INT_MAX : parseNumber(part.substr(dash + 1), text);
            if (r.last < r.first)
                throw Failure(kExitUsage,
                              "--pages '" + text + "': range " + part + " runs backwards");
        }
        ranges_.push_back(r);
        at = comma + 1;
    }
}

bool PageSelection::picks(int number) const {
    if (ranges_.empty()) return true;
    for (const Range& r : ranges_)
        if (number >= r.first && number <= r.last) return true;
    return false;
}

std::vector<int> PageSelection::pick(int count) const {
    std::vector<int> pages;
    for (int n = 1; n <= count; ++n)
        if (picks(n)) pages.push_back(n);
    return pages;
}

std::vector<InputPage> listPages(const fs::path& file, const PageSelection& selection) {
    const FileKind kind = fileKind(file);
    const int count = kind == FileKind::Pdf ? pdfPageCount(file) : imagePageCount(file);
    const std::vector<int> numbers = selection.pick(count);
    if (numbers.empty())
        throw Failure(kExitImage, "cannot print " + file.string() + ": it has " +
                                      std::to_string(count) + " page" + (count == 1 ? "" : "s") +
                                      " and --pages " + selection.text() + " picks none of them");
    std::vector<InputPage> pages;
    for (int n : numbers) pages.push_back({file, kind, n - 1, count});
    return pages;
}

int pdfPageCount(const fs::path& file) {
    std::lock_guard<std::mutex> hold(popplerLock());
    return openDocument(file)->pages();
}

PdfPage::PdfPage(const fs::path& file, int index) : file_(file), index_(index) {
    std::lock_guard<std::mutex> hold(popplerLock());
    document_ = openDocument(file);
    if (index < 0 || index >= document_->pages())
        badDocument(file, "it has " + std::to_string(document_->pages()) + " pages, no page " +
                              std::to_string(index + 1));
    page_.reset(document_->create_page(index));
    if (!page_) badDocument(file, "page " + std::to_string(index + 1) + " cannot be read");
    const poppler::rectf box = page_->page_rect(poppler::crop_box);
    switch (page_->orientation()) {
        case poppler::page::landscape: rotation_ = 90; break;
        case poppler::page::upside_down: rotation_ = 180; break;
        case poppler::page::seascape: rotation_ = 270; break;
        default: rotation_ = 0;
    }
    const bool across = rotation_ % 180 != 0;
    widthPt_ = across ? box.height() : box.width();
    heightPt_ = across ? box.width() : box.height();
    if (!(widthPt_ >= 1 && heightPt_ >= 1 && widthPt_ < 200000 && heightPt_ < 200000))
        badDocument(file, "page " + std::to_string(index + 1) + " has no usable size");
}

PdfPage::~PdfPage() {
    std::lock_guard<std::mutex> hold(popplerLock());
    page_.reset();
    document_.reset();
}

Image PdfPage::render(int width, int height, bool turned, int y, int lines) const {
    // The resolution that makes the page exactly width x height pixels;
    // Poppler's resolutions are of the rendered image's own axes, whatever
    // the rotation.
    const double pageW = turned ? heightPt_ : widthPt_, pageH = turned ? widthPt_ : heightPt_;
    const double xdpi = width / (pageW / 72.0), ydpi = height / (pageH / 72.0);
    Image band;
    band.format = "PDF";
    band.space = ColourSpace::Rgb;
    band.width = width;
    band.height = lines;
    band.pixels.resize(size_t(width) * size_t(lines) * 3);
    std::lock_guard<std::mutex> hold(popplerLock());
    poppler::page_renderer renderer;
    renderer.set_render_hint(poppler::page_renderer::antialiasing, true);
    renderer.set_render_hint(poppler::page_renderer::text_antialiasing, true);
    renderer.set_paper_color(0xFFFFFFFF);
    renderer.set_image_format(poppler::image::format_rgb24);
    popplerMessage().clear();
    const poppler::image out =
        renderer.render_page(page_.get(), xdpi, ydpi, 0, y, width, lines,
                             turned ? poppler::rotate_90 : poppler::rotate_0);
    if (!out.is_valid() || out.format() != poppler::image::format_rgb24 || out.width() < width ||
        out.height() < lines)
        badDocument(file_,
                    "page " + std::to_string(index_ + 1) + " cannot be rendered" +
                        (popplerMessage().empty() ? std::string() : " (" + popplerMessage() + ")"));
    for (int row = 0; row < lines; ++row)
        std::memcpy(&band.pixels[size_t(row) * size_t(width) * 3],
                    out.const_data() + size_t(row) * size_t(out.bytes_per_row()),
                    size_t(width) * 3);
    return band;
}

}  // namespace inkdot::cli
