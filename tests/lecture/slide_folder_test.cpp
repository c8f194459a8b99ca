#include "lecture/slide_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/user_prompts.h"
#include "resources/texts.h"

namespace vorlix {
namespace {

namespace fs = std::filesystem;

// A fresh folder under the temp directory, removed with the fixture.
class SlideFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vorlix_slides_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    void touch(long number) {
        std::ofstream(dir_ / ("スライド" + std::to_string(number) + ".bmp")) << "x";
    }
    std::string prefix() const { return dir_.string() + "/"; }

    fs::path dir_;
};

TEST(SlideFolderPrefix, SeparatorRule) {
    struct Case {
        std::optional<std::string> chosen;
        std::string prefix;
    } cases[] = {
        {std::nullopt, ""},            // cancelled: the current directory
        {"/home/t/slides", "/home/t/slides/"},
        {"/home/t/slides/", "/home/t/slides/"},
        {"/", "/"},                    // the root gets no second separator
        {"D:\\", "D:\\"},
        {"", " /"},                    // an empty answer becomes a blank, which finds nothing
    };
    for (const auto& c : cases)
        EXPECT_EQ(slideFolderPrefix(c.chosen), c.prefix) << c.chosen.value_or("<none>");
}

TEST(SlideFolderName, NumbersWithoutLeadingZeros) {
    EXPECT_EQ(slideFileName("/s/", 1), "/s/スライド1.bmp");
    EXPECT_EQ(slideFileName("/s/", 512), "/s/スライド512.bmp");
    EXPECT_EQ(slideFileName("", 7), "スライド7.bmp");
}

TEST_F(SlideFolderTest, FirstMissingNumberEndsTheList) {
    touch(1);
    touch(2);
    touch(4);
    const auto slides = enumerateSlides(prefix());
    ASSERT_EQ(slides.size(), 2u);
    EXPECT_EQ(slides[0], prefix() + "スライド1.bmp");
    EXPECT_EQ(slides[1], prefix() + "スライド2.bmp");
}

TEST_F(SlideFolderTest, NoFirstSlideFindsNothing) {
    touch(2);
    std::ofstream(dir_ / "スライド1.gif") << "x";  // not a picture type slides are read as
    EXPECT_TRUE(enumerateSlides(prefix()).empty());
}

TEST_F(SlideFolderTest, AtMost512Slides) {
    for (long n = 1; n <= 513; ++n) touch(n);
    const auto slides = enumerateSlides(prefix());
    ASSERT_EQ(slides.size(), 512u);
    EXPECT_EQ(slides.back(), prefix() + "スライド512.bmp");
}

TEST_F(SlideFolderTest, EmptyPrefixLooksInTheCurrentDirectory) {
    touch(1);
    const fs::path before = fs::current_path();
    fs::current_path(dir_);
    const auto slides = enumerateSlides("");
    fs::current_path(before);
    ASSERT_EQ(slides.size(), 1u);
    EXPECT_EQ(slides[0], "スライド1.bmp");
}

class FolderPrompts : public UserPrompts {
public:
    std::optional<std::string> answer;
    std::string askedTitle;
    void showMessage(std::string_view, std::string_view) override {}
    bool askYesNo(std::string_view) override { return false; }
    std::optional<std::string> chooseFolder(std::string_view title) override {
        askedTitle = title;
        return answer;
    }
    std::optional<std::string> askSavePath(std::string_view, std::string_view,
                                           std::string_view) override {
        return std::nullopt;
    }
    std::optional<CodecChoice> chooseCodec(const std::vector<CodecOption>&) override {
        return std::nullopt;
    }
};

TEST(SlideFolderChoice, AsksWithTheInstructionAndFormsThePrefix) {
    FolderPrompts prompts;
    prompts.answer = "/data/lecture";
    EXPECT_EQ(chooseSlideFolder(prompts), "/data/lecture/");
    EXPECT_EQ(prompts.askedTitle, texts::kChooseSlideFolder);
    prompts.answer.reset();
    EXPECT_EQ(chooseSlideFolder(prompts), "");
}

}  // namespace
}  // namespace vorlix
