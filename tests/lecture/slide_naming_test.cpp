// Slide folders as presentation programs export them: which naming wins, letter case, gaps,
// numeric order, a lone PDF deck, and what the user is told when nothing fits.
#include <gtest/gtest.h>

#include "lecture/slide_folder.h"
#include "resources/texts.h"
#include "tests/support/files.h"

namespace vorlix {
namespace {

using Names = std::vector<std::string>;

Names numbered(const std::string& before, int to, const std::string& after, int width = 0) {
    Names names;
    for (int n = 1; n <= to; ++n) {
        const std::string digits = std::to_string(n);
        names.push_back(before + std::string(std::max<int>(0, width - int(digits.size())), '0') +
                        digits + after);
    }
    return names;
}

TEST(SlideNaming, FirstRuleWithASlideOneWins) {
    const struct {
        Names files, slides;  // slides in order; "pdf:" + name: the folder's deck
    } cases[] = {
        {{"スライド1.bmp", "スライド2.bmp", "スライド3.BMP", "スライド1.png", "Slide1.png"},
         {"スライド1.bmp", "スライド2.bmp"}},
        {{"スライド1.PNG", "スライド2.Jpg", "スライド3.jpeg", "スライド4.BMP", "Slide1.png"},
         {"スライド1.PNG", "スライド2.Jpg", "スライド3.jpeg", "スライド4.BMP"}},
        {{"スライド1.JPG", "スライド1.png"}, {"スライド1.png"}},
        {{"Slide1.PNG", "slide2.jpg", "SLIDE3.Jpeg", "Slide5.png", "deck.001.png"},
         {"Slide1.PNG", "slide2.jpg", "SLIDE3.Jpeg"}},
        {numbered("Slide", 12, ".PNG"), numbered("Slide", 12, ".PNG")},
        {numbered("講義.", 11, ".jpeg", 3), numbered("講義.", 11, ".jpeg", 3)},
        {numbered("img", 101, ".png", 2), numbered("img", 101, ".png", 2)},
        {{"a.001.png", "a.002.png", "b01.png", "a.01.png", "a.004.png"}, {"a.001.png", "a.002.png"}},
        // Two series of one length: the first by name.
        {{"b.001.png", "b.002.png", "a.001.jpg", "a.002.jpg"}, {"a.001.jpg", "a.002.jpg"}},
        {numbered("Slide", 513, ".png"), numbered("Slide", 512, ".png")},
        {{"img1.png", "img2.png", "スライド1.gif", "Slide2.png", "deck.PDF"}, {"pdf:deck.PDF"}},
        {{"a.pdf", "b.pdf", "deck.002.png"}, {}},
    };
    for (const auto& c : cases) {
        testing::ScratchDir dir;
        for (const auto& f : c.files) testing::writeFile(dir.file(f), std::string("x"));
        const std::string prefix = dir.path().string() + "/";
        Names expected, found = enumerateSlides(prefix);
        for (const auto& s : c.slides)
            expected.push_back(s.starts_with("pdf:") ? "pdf:" + prefix + s.substr(4) : prefix + s);
        if (const auto pdf = slidePdf(prefix); found.empty() && pdf) found = {"pdf:" + *pdf};
        EXPECT_EQ(found, expected) << c.files.front();
    }
    const std::string text = noSlidesMessage("/home/t/講義/");
    EXPECT_EQ(text.substr(0, text.find('\n')), texts::kNoSlidesFound);
    for (const char* named : {"スライド1.bmp", "Slide1.png", "deck.001.jpeg", "PDF", "/home/t/講義/"})
        EXPECT_NE(text.find(named), std::string::npos) << named;
}

}  // namespace
}  // namespace vorlix
