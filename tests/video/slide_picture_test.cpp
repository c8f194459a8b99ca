// PNG and JPEG slides drawn onto frames and compared pixel by pixel with another program's
// decode of the same file; damaged files leave a white frame and say why, and such a slide is
// named to the user after the conversion.
#include "video/slide_picture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "resources/texts.h"
#include "support/exif_jpeg.h"
#include "support/narration_wav.h"
#include "support/scratch_dir.h"
#include "support/scripted_prompts.h"
#include "video/conversion_driver.h"
#include "video/frame_renderer.h"

namespace vorlix {
namespace {

std::vector<std::uint8_t> output(const std::string& command) {
    std::vector<std::uint8_t> bytes;
    if (std::FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r")) {
        for (int c; (c = std::fgetc(p)) != EOF;) bytes.push_back(static_cast<std::uint8_t>(c));
        ::pclose(p);
    }
    return bytes;
}

const std::string kMake =
    "/usr/bin/convert -size 96x64 gradient:red-blue -swirl 120 ";  // not square
const std::string kAlpha =
    "\\( -size 96x64 gradient:white-black \\) -alpha off -compose CopyOpacity -composite ";

TEST(SlidePicture, FramesMatchAReferenceDecode) {
    testing::ScratchDir dir;
    // PNGs against ImageMagick laid over white (16 bits may differ by FFmpeg's dither on the way
    // to 8); JPEGs against ffmpeg's decode, turned by its filters as the EXIF mark asks.
    const std::string flat = "/usr/bin/convert %s -background white -flatten -depth 8 bgr:-";
    const std::string ff = "ffmpeg -v error -i %s %s -f rawvideo -pix_fmt bgr24 -";
    struct Case {
        const char *name, *make;
        const std::string& reference;
        int orientation;  // spliced into the JPEG after the reference was read; 0 none
        const char* turn;
        int tolerance;
    } cases[] = {
        {"palette-alpha.png", "-colors 16 PNG8:", flat, 0, "", 1},
        {"grey.png", "-colorspace Gray -depth 8 -define png:color-type=0 ", flat, 0, "", 0},
        {"rgb16.png", "-depth 16 PNG48:", flat, 0, "", 2},
        {"rgba.png", "PNG32:", flat, 0, "", 1},
        {"progressive.jpg", "-interlace Plane ", ff, 0, "", 3},
        {"mirrored.jpg", "", ff, 2, "-vf hflip", 3},
        {"turned-right.jpg", "", ff, 6, "-vf transpose=clock", 3},
        {"transverse.jpg", "", ff, 7, "-vf transpose=clock_flip", 3},
    };
    char command[1024];
    for (const auto& c : cases) {
        const std::string path = dir.file(c.name);
        const bool alpha = std::string(c.name).find("alpha") != std::string::npos ||
                           std::string(c.name) == "rgba.png";
        ASSERT_EQ(std::system((kMake + (alpha ? kAlpha : "") + c.make + path).c_str()), 0)
            << c.name;
        std::snprintf(command, sizeof command, c.reference.c_str(), path.c_str(), c.turn);
        const auto reference = output(command);
        if (c.orientation != 0)
            testing::writeFile(path,
                               testing::withOrientation(testing::readBytes(path), c.orientation));
        const bool turned = c.orientation >= 5;
        FrameCanvas frame(turned ? 64 : 96, turned ? 96 : 64);
        std::string problem;
        EXPECT_EQ(drawSlideFrame(frame, path, kPlaceStretch, &problem), 0) << c.name << problem;
        ASSERT_EQ(reference.size(), frame.pixels.size()) << c.name;
        int most = 0;
        for (std::size_t i = 0; i < reference.size(); ++i)
            most = std::max(most, std::abs(int{frame.pixels[i]} - int{reference[i]}));
        EXPECT_LE(most, c.tolerance) << c.name;
    }
}

TEST(SlidePicture, DamagedFilesLeaveAWhiteFrameAndSayWhy) {
    testing::ScratchDir dir;
    const std::string png = dir.file("a.png"), jpg = dir.file("a.jpg"), smooth = dir.file("b.jpg");
    ASSERT_EQ(std::system(("/usr/bin/convert -size 320x240 xc: +noise Random " + png).c_str()), 0);
    ASSERT_EQ(std::system(("/usr/bin/convert " + png + " -interlace Plane " + jpg).c_str()), 0);
    // Smooth, where a decoder taking the cut for the end of the data shows no error.
    ASSERT_EQ(std::system(("/usr/bin/convert -size 320x240 gradient:red-blue " + smooth).c_str()),
              0);
    const auto half = [](const std::string& path) {
        const auto b = testing::readBytes(path);
        return std::vector<std::uint8_t>(b.begin(), b.begin() + b.size() / 2);
    };
    auto huge = testing::readBytes(png), scrambled = huge;
    huge[17] = 0x0F;  // a header claiming 983,360 x 240
    for (std::size_t i = 100; i < scrambled.size(); i += 7) scrambled[i] ^= 0x5A;
    const std::pair<std::vector<std::uint8_t>, std::string_view> cases[] = {
        {half(png), texts::kSlideDamaged},    {half(jpg), texts::kSlideDamaged},
        {half(smooth), texts::kSlideDamaged}, {huge, texts::kSlideDamaged},
        {scrambled, texts::kSlideDamaged},    {{0xFF, 0xD8, 0xFF}, texts::kSlideDamaged},
        {{}, texts::kSlideUnknownFormat},
    };
    for (const auto& [bytes, reason] : cases) {
        const std::string path = dir.file("bad" + std::to_string(&bytes - &cases[0].first));
        testing::writeFile(path, bytes);
        FrameCanvas canvas(64, 48);
        std::string problem;
        EXPECT_EQ(drawSlideFrame(canvas, path, kPlaceStretch, &problem), 1) << path;
        EXPECT_EQ(problem, reason) << path;
        EXPECT_EQ(std::count(canvas.pixels.begin(), canvas.pixels.end(), 255), 64 * 48 * 3) << path;
    }
}

TEST(SlidePicture, TheConversionNamesSlidesItCouldNotRead) {
    testing::ScratchDir dir;
    const std::string good = dir.file("Slide1.png"), cut = dir.file("Slide2.png");
    ASSERT_EQ(std::system(("/usr/bin/convert -size 64x48 xc: +noise Random " + good).c_str()), 0);
    const auto bytes = testing::readBytes(good);
    testing::writeFile(cut, {bytes.begin(), bytes.begin() + bytes.size() / 2});
    // The damaged slide is shown twice; it is named once.
    testing::writeText(dir.file("t.tmp"),
                       "0," + good + "\n4," + cut + "\n8," + cut + "\n12," + good + "\n");
    testing::writeNarration(dir.file("n.wav"), testing::narrationSamples(44100 * 6));
    testing::ScriptedPrompts prompts;
    prompts.savePaths = {dir.file("out.avi")};
    ConversionState state;
    ConversionDriver(prompts, state).runConversion(dir.file("t.tmp"), dir.file("n.wav"), 12);
    const std::string warning = std::string(texts::kSlidesNotReadHead) + "\n" + cut + ": " +
                                std::string(texts::kSlideDamaged);
    EXPECT_EQ(prompts.shown, (std::vector<testing::ScriptedPrompts::Shown>{
                                 {warning, ""}, {std::string(texts::kConversionEnded), ""}}));
}

}  // namespace
}  // namespace vorlix
