#include "lecture/slide_folder.h"

#include <gtest/gtest.h>

#include <fstream>

#include "resources/texts.h"
#include "tests/support/files.h"

namespace vorlix {
namespace {

TEST(SlideFolder, PrefixFromTheChosenFolder) {
    struct Case {
        std::optional<std::string> chosen;
        std::string prefix;
    } cases[] = {
        {std::nullopt, ""},  // cancelled: the current directory
        {"/home/t/slides", "/home/t/slides/"},
        {"/home/t/slides/", "/home/t/slides/"},
        {"D:\\", "D:\\"},
        {"", " /"},  // an empty answer becomes a blank, which finds nothing
    };
    for (const auto& c : cases)
        EXPECT_EQ(slideFolderPrefix(c.chosen), c.prefix) << c.chosen.value_or("<none>");
    testing::FakePrompts prompts;
    prompts.folder = "/data/lecture";
    EXPECT_EQ(chooseSlideFolder(prompts), "/data/lecture/");
}

// Slides numbered from 1 without leading zeros; the first missing number ends the list, which
// holds at most 512.
TEST(SlideFolder, EnumeratesNumberedSlides) {
    struct Case {
        int numbered;                    // スライド1 .. スライドn
        std::vector<std::string> other;  // more numbers
        std::size_t found;
    } cases[] = {{2, {"4"}, 2}, {0, {"2", "01"}, 0}, {513, {}, 512}};
    for (const auto& c : cases) {
        testing::ScratchDir dir;
        auto files = c.other;
        for (int n = 1; n <= c.numbered; ++n) files.push_back(std::to_string(n));
        for (const auto& n : files) std::ofstream(dir.file("スライド" + n + ".bmp")) << "x";
        const auto slides = enumerateSlides(dir.path().string() + "/");
        ASSERT_EQ(slides.size(), c.found);
        for (std::size_t i = 0; i < slides.size(); ++i)
            EXPECT_EQ(slides[i], slideFileName(dir.path().string() + "/", long(i + 1)));
        if (!slides.empty()) EXPECT_EQ(slides[0], dir.file("スライド1.bmp"));
    }
}

}  // namespace
}  // namespace vorlix
