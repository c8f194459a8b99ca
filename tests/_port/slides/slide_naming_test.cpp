// Slide folders as presentation programs export them: which naming wins, letter case, gaps,
// numeric order, the PDF deck, and what the user is told when nothing fits.
#include <gtest/gtest.h>

#include <fstream>

#include "lecture/slide_folder.h"
#include "resources/texts.h"
#include "tests/support/scratch_dir.h"

namespace vorlix {
namespace {

using Names = std::vector<std::string>;

Names numbered(const std::string& before, int from, int to, const std::string& after,
               int width = 0) {
    Names names;
    for (int n = from; n <= to; ++n) {
        std::string digits = std::to_string(n);
        if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), '0');
        names.push_back(before + digits + after);
    }
    return names;
}

TEST(SlideNaming, FirstRuleWithASlideOneWins) {
    struct Case {
        const char* what;
        Names files;
        Names slides;  // in order; empty: none found
    } cases[] = {
        {"bitmaps as always, before everything else",
         {"スライド1.bmp", "スライド2.bmp", "スライド1.png", "Slide1.png"},
         {"スライド1.bmp", "スライド2.bmp"}},
        {"the exact rule reads only its own names",
         {"スライド1.bmp", "スライド2.BMP", "スライド3.bmp"},
         {"スライド1.bmp"}},
        {"PowerPoint in Japanese, any case and picture type",
         {"スライド1.PNG", "スライド2.Jpg", "スライド3.jpeg", "スライド4.BMP"},
         {"スライド1.PNG", "スライド2.Jpg", "スライド3.jpeg", "スライド4.BMP"}},
        {"スライド before Slide", {"スライド1.png", "Slide1.png", "Slide2.png"}, {"スライド1.png"}},
        {"PowerPoint in English, any case",
         {"Slide1.PNG", "slide2.jpg", "SLIDE3.Jpeg"},
         {"Slide1.PNG", "slide2.jpg", "SLIDE3.Jpeg"}},
        {"Slide before a series", {"Slide1.png", "deck.001.jpeg", "deck.002.jpeg"}, {"Slide1.png"}},
        {"a gap ends the list",
         {"Slide1.png", "Slide2.png", "Slide4.png"},
         {"Slide1.png", "Slide2.png"}},
        {"ten and more in numeric order", numbered("Slide", 1, 12, ".PNG"),
         numbered("Slide", 1, 12, ".PNG")},
        {"Keynote's series", numbered("講義.", 1, 11, ".jpeg", 3),
         numbered("講義.", 1, 11, ".jpeg", 3)},
        {"a series without a dot, past its padding", numbered("img", 1, 101, ".png", 2),
         numbered("img", 1, 101, ".png", 2)},
        {"the longest series wins",
         {"a.001.png", "a.002.png", "b01.png", "a.01.png"},
         {"a.001.png", "a.002.png"}},
        {"numbers without zeros are no series", {"img1.png", "img2.png"}, {}},
        {"other picture types are not read", {"スライド1.gif", "Slide1.tiff", "deck.001.gif"}, {}},
        {"no slide one", {"スライド2.bmp", "Slide2.png", "deck.002.png"}, {}},
        {"at most 512", numbered("Slide", 1, 513, ".png"), numbered("Slide", 1, 512, ".png")},
    };
    for (const auto& c : cases) {
        testing::ScratchDir dir;
        for (const auto& f : c.files) std::ofstream(dir.file(f)) << "x";
        const std::string prefix = dir.path().string() + "/";
        Names expected;
        for (const auto& s : c.slides) expected.push_back(prefix + s);
        EXPECT_EQ(enumerateSlides(prefix), expected) << c.what;
    }
}

TEST(SlideNaming, TheFolderMayHoldOnePdf) {
    for (const auto& [files, pdf] :
         {std::pair<Names, std::string>{{"deck.PDF", "notes.txt"}, "deck.PDF"},
          {{"a.pdf", "b.pdf"}, ""},  // which one is meant is unclear
          {{"deck.pdf.txt"}, ""}}) {
        testing::ScratchDir dir;
        for (const auto& f : files) std::ofstream(dir.file(f)) << "x";
        const std::string prefix = dir.path().string() + "/";
        EXPECT_EQ(slidePdf(prefix).value_or(""), pdf.empty() ? "" : prefix + pdf) << files[0];
    }
}

TEST(SlideNaming, NothingFoundSaysWhatToPutWhere) {
    const std::string text = noSlidesMessage("/home/t/講義/");
    const std::string firstLine = text.substr(0, text.find('\n'));
    EXPECT_EQ(firstLine, texts::kNoSlidesFound);
    for (const char* named :
         {"スライド1.bmp", "Slide1.png", "deck.001.jpeg", "PDF", "/home/t/講義/"})
        EXPECT_NE(text.find(named), std::string::npos) << named;
}

}  // namespace
}  // namespace vorlix
