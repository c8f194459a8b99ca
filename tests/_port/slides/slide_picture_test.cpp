// PNG and JPEG slides as presentation programs and cameras write them, read into frames and
// compared pixel by pixel with another program's decode of the same file; damaged files leave
// a white frame and say why; such a slide is named to the user after the conversion.
#include "video/slide_picture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "resources/texts.h"
#include "support/narration_wav.h"
#include "support/scratch_dir.h"
#include "support/scripted_prompts.h"
#include "video/conversion_driver.h"
#include "video/frame_renderer.h"

namespace vorlix {
namespace {

constexpr int kW = 96, kH = 64;  // not square: a turn the wrong way shows

bool run(const std::string& command) {
    return std::system((command + " 2>/dev/null").c_str()) == 0;
}

std::vector<std::uint8_t> output(const std::string& command) {
    std::vector<std::uint8_t> bytes;
    if (std::FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r")) {
        std::uint8_t buf[65536];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
            bytes.insert(bytes.end(), buf, buf + n);
        ::pclose(p);
    }
    return bytes;
}

// Puts an EXIF orientation into a JPEG, as a camera or phone writes it.
std::vector<std::uint8_t> withOrientation(std::vector<std::uint8_t> jpeg,
                                          std::uint8_t orientation) {
    const std::vector<std::uint8_t> app1 = {
        0xFF, 0xE1, 0,    34,   'E', 'x', 'i', 'f', 0, 0, 'M', 'M',         0, 42,
        0,    0,    0,    8,                                                       // TIFF header
        0,    1,    0x01, 0x12, 0,   3,   0,   0,   0, 1, 0,   orientation, 0, 0,  // one entry
        0,    0,    0,    0};                                                      // no next IFD
    jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
    return jpeg;
}

// What the slide looks like on a frame of its own size.
FrameCanvas frameOf(const std::string& path, std::string* problem, int w, int h) {
    FrameCanvas canvas(w, h);
    drawSlideFrame(canvas, path, kPlaceStretch, problem);
    return canvas;
}

int largestDifference(const FrameCanvas& frame, const std::vector<std::uint8_t>& reference) {
    if (reference.size() != frame.pixels.size()) return 256;
    int most = 0;
    for (std::size_t i = 0; i < reference.size(); ++i)
        most = std::max(most, std::abs(int{frame.pixels[i]} - int{reference[i]}));
    return most;
}

TEST(SlidePicture, FramesMatchAReferenceDecode) {
    testing::ScratchDir dir;
    const std::string im =
        "/usr/bin/convert -size " + std::to_string(kW) + "x" + std::to_string(kH);
    const std::string colours = im + " gradient:red-blue -swirl 120 ";
    const std::string alpha =
        " \\( -size " + std::to_string(kW) + "x" + std::to_string(kH) +
        " gradient:white-black \\) -alpha off -compose CopyOpacity -composite ";
    // Lossless pictures against ImageMagick's own reading, laid over white (16-bit ones may
    // differ by FFmpeg's dither on the way to 8 bits); JPEG against
    // ffmpeg's decode, turned by its filters where the file asks for a turn.
    const std::string flatten = "/usr/bin/convert %s -background white -flatten -depth 8 bgr:-";
    const std::string ffmpeg = "ffmpeg -v error -i %s %s -f rawvideo -pix_fmt bgr24 -";
    struct Case {
        const char* name;
        std::string make;       // command writing the file, %s its path
        int orientation;        // EXIF orientation spliced into a JPEG; 0 none
        std::string reference;  // command printing its BGR pixels
        std::string turn;       // ffmpeg filters for the orientation
        int tolerance;
    } cases[] = {
        {"palette.png", colours + "-colors 16 PNG8:%s", 0, flatten, "", 0},
        {"palette-alpha.png", colours + alpha + "-colors 16 PNG8:%s", 0, flatten, "", 1},
        {"grey.png", im + " gradient:white-black -swirl 90 -depth 8 -define png:color-type=0 %s", 0,
         flatten, "", 0},
        {"grey16.png", im + " gradient:white-black -swirl 90 -depth 16 -define png:color-type=0 %s",
         0, flatten, "", 2},
        {"rgb16.png", colours + "-depth 16 PNG48:%s", 0, flatten, "", 2},
        {"rgba.png", colours + alpha + "PNG32:%s", 0, flatten, "", 1},
        {"rgba16.png", colours + alpha + "-depth 16 PNG64:%s", 0, flatten, "", 2},
        {"baseline.jpg", colours + "-quality 90 %s", 0, ffmpeg, "", 3},
        {"progressive.jpg", colours + "-interlace Plane -quality 90 %s", 0, ffmpeg, "", 3},
        {"grey.jpg", im + " gradient:white-black -swirl 90 -colorspace Gray %s", 0, ffmpeg, "", 1},
        {"mirrored.jpg", colours + "%s", 2, ffmpeg, "-vf hflip", 3},
        {"upside-down.jpg", colours + "%s", 3, ffmpeg, "-vf hflip,vflip", 3},
        {"turned-right.jpg", colours + "%s", 6, ffmpeg, "-vf transpose=clock", 3},
        {"turned-left.jpg", colours + "%s", 8, ffmpeg, "-vf transpose=cclock", 3},
        {"transposed.jpg", colours + "%s", 5, ffmpeg, "-vf transpose=cclock_flip", 3},
    };
    char command[1024];
    for (const auto& c : cases) {
        const std::string path = dir.file(c.name);
        std::snprintf(command, sizeof command, c.make.c_str(), path.c_str());
        ASSERT_TRUE(run(command)) << command;
        std::snprintf(command, sizeof command, c.reference.c_str(), path.c_str(), c.turn.c_str());
        const auto reference = output(command);  // read before the EXIF goes in
        if (c.orientation != 0)
            testing::writeFile(path, withOrientation(testing::readBytes(path),
                                                     static_cast<std::uint8_t>(c.orientation)));
        const bool turned = c.orientation >= 5;
        std::string problem;
        const FrameCanvas frame = frameOf(path, &problem, turned ? kH : kW, turned ? kW : kH);
        EXPECT_EQ(problem, "") << c.name;
        EXPECT_LE(largestDifference(frame, reference), c.tolerance) << c.name;
    }
}

TEST(SlidePicture, DamagedFilesLeaveAWhiteFrameAndSayWhy) {
    testing::ScratchDir dir;
    const std::string noise = dir.file("noise.png"), photo = dir.file("noise.jpg");
    ASSERT_TRUE(run("/usr/bin/convert -size 320x240 xc: +noise Random " + noise));
    ASSERT_TRUE(run("/usr/bin/convert " + noise + " -interlace Plane " + photo));
    // Smooth, where a decoder that takes a cut for the end of the data shows no error.
    ASSERT_TRUE(
        run("/usr/bin/convert -size 320x240 gradient:red-blue " + dir.file("baseline.jpg")));
    const auto png = testing::readBytes(noise), jpeg = testing::readBytes(photo),
               baseline = testing::readBytes(dir.file("baseline.jpg"));
    auto hugePng = png;  // the header claims 1,000,000 x 240
    hugePng[16] = 0;
    hugePng[17] = 0x0F;
    hugePng[18] = 0x42;
    hugePng[19] = 0x40;
    auto scrambled = png;
    for (std::size_t i = 100; i < scrambled.size(); i += 7) scrambled[i] ^= 0x5A;
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::string_view problem;
    } cases[] = {
        {"cut.png", {png.begin(), png.begin() + png.size() / 2}, texts::kSlideDamaged},
        {"cut.jpg", {jpeg.begin(), jpeg.begin() + jpeg.size() / 2}, texts::kSlideDamaged},
        {"cut-baseline.jpg",
         {baseline.begin(), baseline.begin() + baseline.size() / 2},
         texts::kSlideDamaged},
        {"huge.png", hugePng, texts::kSlideDamaged},
        {"scrambled.png", scrambled, texts::kSlideDamaged},
        {"signature-only.jpg", {0xFF, 0xD8, 0xFF}, texts::kSlideDamaged},
        {"empty.png", {}, texts::kSlideUnknownFormat},
    };
    for (const auto& c : cases) {
        const std::string path = dir.file(c.name);
        testing::writeFile(path, c.bytes);
        FrameCanvas canvas(64, 48);
        std::string problem;
        EXPECT_EQ(drawSlideFrame(canvas, path, kPlaceStretch, &problem), 1) << c.name;
        EXPECT_EQ(problem, c.problem) << c.name;
        EXPECT_TRUE(std::all_of(canvas.pixels.begin(), canvas.pixels.end(), [](std::uint8_t v) {
            return v == 255;
        })) << c.name;
    }
    std::string problem;
    EXPECT_FALSE(readSlidePicture(dir.file("missing.png"), &problem));
    EXPECT_EQ(problem, texts::kSlideNotOpened);
}

}  // namespace
}  // namespace vorlix
