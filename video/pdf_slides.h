// A PDF deck as slides: every page drawn by Poppler into a picture file that the previews, the
// timeline and the converter read like any exported slide. Pages are drawn at least
// kPdfSlideWidth pixels wide, keeping the page's shape (and its /Rotate).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vorlix {

inline constexpr int kPdfSlideWidth = 1920;

struct PdfSlides {
    std::vector<std::string> paths;  // one per page, in page order; empty when the PDF was refused
    std::string problem;             // why nothing or not every page could be drawn, for the user
    int pagesNotDrawn = 0;
};

// `done` of `total` pages drawn so far; called before the first page and after each one.
using PdfProgress = std::function<void(int done, int total)>;

// Draws the pages of `pdfPath` (at most maxPages) into "スライドN.png" files in `folder`, which
// must exist. A page that cannot be drawn keeps its place in the list with no file behind it
// (its frames stay white, its preview shows the placeholder).
PdfSlides renderPdfSlides(const std::string& pdfPath, const std::string& folder, int maxPages,
                          const PdfProgress& progress = {});

// Creates a new folder "<parent>/<stem>", or "<stem>_2", "<stem>_3"... when taken. Nothing when
// none can be made.
std::optional<std::string> makeNewFolder(const std::string& parent, const std::string& stem);

}  // namespace vorlix
