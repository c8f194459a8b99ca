// PNG and JPEG slides as presentation programs and cameras write them, drawn into frames and
// compared pixel by pixel with another program's decode of the same file; damaged pictures and
// decks leave a white frame, or no slides, and say why.
#include "video/slide_picture.h"

#include <gtest/gtest.h>

#include "resources/texts.h"
#include "tests/support/files.h"
#include "video/frame_renderer.h"
#include "video/pdf_slides.h"

namespace vorlix {
namespace {

// A JPEG given an EXIF orientation (1 to 8) as a camera or phone writes it.
testing::Bytes withOrientation(testing::Bytes jpeg, std::uint8_t orientation) {
    const testing::Bytes app1 = {0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8,
                                 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, orientation, 0, 0, 0, 0, 0, 0};
    jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
    return jpeg;
}

TEST(SlidePicture, FramesMatchAReferenceDecode) {
    testing::ScratchDir dir;
    const std::string size = "-size 96x64 ", colours = "convert " + size + "gradient:red-blue -swirl 120 ",
                      grey = "convert " + size + "gradient:white-black -swirl 90 ",
                      alpha = "\\( " + size + "gradient:white-black \\) -alpha off -compose CopyOpacity -composite ";
    // Lossless pictures against ImageMagick laid over white (16 bits may differ by FFmpeg's
    // dither to 8); JPEG against ffmpeg's decode, turned by its filters as the EXIF mark asks.
    const std::string flat = "convert %s -background white -flatten -depth 8 bgr:-",
                      ff = "ffmpeg -v error -i %s %s -f rawvideo -pix_fmt bgr24 -";
    const struct {
        const char* name;
        std::string make, reference, turn;  // make: %s is the path
        int orientation, tolerance;         // orientation: EXIF mark spliced in after the reference
    } cases[] = {
        {"palette.png", colours + alpha + "-colors 16 PNG8:%s", flat, "", 0, 1},
        {"grey.png", grey + "-depth 8 -define png:color-type=0 %s", flat, "", 0, 0},
        {"grey16.png", grey + "-depth 16 -define png:color-type=0 %s", flat, "", 0, 2},
        {"rgba.png", colours + alpha + "PNG32:%s", flat, "", 0, 1},
        {"rgba16.png", colours + alpha + "-depth 16 PNG64:%s", flat, "", 0, 2},
        {"progressive.jpg", colours + "-interlace Plane -quality 90 %s", ff, "", 0, 3},
        {"mirrored.jpg", colours + "%s", ff, "-vf hflip", 2, 3},
        {"upside-down.jpg", colours + "%s", ff, "-vf hflip,vflip", 3, 3},
        {"turned-right.jpg", colours + "%s", ff, "-vf transpose=clock", 6, 3},
        {"turned-left.jpg", colours + "%s", ff, "-vf transpose=cclock", 8, 3},
        {"transverse.jpg", colours + "%s", ff, "-vf transpose=clock_flip", 7, 3},
        {"unknown-turn.jpg", colours + "%s", ff, "", 9, 3},  // no such orientation: as it is
    };
    char command[1024];
    for (const auto& c : cases) {
        const std::string path = dir.file(c.name);
        std::snprintf(command, sizeof command, (c.make + " && echo ok").c_str(), path.c_str());
        ASSERT_FALSE(testing::run(command).empty()) << command;
        std::snprintf(command, sizeof command, c.reference.c_str(), path.c_str(), c.turn.c_str());
        const std::string reference = testing::run(command);
        if (c.orientation != 0)
            testing::writeFile(path, withOrientation(testing::readBytes(path), c.orientation));
        const bool turned = c.orientation >= 5 && c.orientation <= 8;
        FrameCanvas frame(turned ? 64 : 96, turned ? 96 : 64);  // not square: a wrong turn shows
        std::string problem;
        drawSlideFrame(frame, path, kPlaceStretch, &problem);
        EXPECT_EQ(problem, "") << c.name;
        ASSERT_EQ(frame.pixels.size(), reference.size()) << c.name;
        int most = 0;
        for (std::size_t i = 0; i < reference.size(); ++i)
            most = std::max(most, std::abs(frame.pixels[i] - static_cast<std::uint8_t>(reference[i])));
        EXPECT_LE(most, c.tolerance) << c.name;
    }
}

TEST(SlidePicture, DamagedFilesLeaveAWhiteFrameAndSayWhy) {
    testing::ScratchDir dir;
    const std::string noise = dir.file("noise.png"), im = "/usr/bin/convert -size 320x240 ";
    // Progressive and smooth baseline JPEG: a decoder taking a cut for the end shows no error.
    ASSERT_FALSE(testing::run(im + "xc: +noise Random " + noise + " && convert " + noise +
                              " -interlace Plane " + dir.file("p.jpg") + " && " + im +
                              "gradient:red-blue " + dir.file("b.jpg") + " && echo ok").empty());
    const auto png = testing::readBytes(noise), jpeg = testing::readBytes(dir.file("p.jpg")),
               baseline = testing::readBytes(dir.file("b.jpg"));
    const auto half = [](const testing::Bytes& b) { return testing::Bytes(b.begin(), b.begin() + b.size() / 2); };
    auto scrambled = png;
    for (std::size_t i = 100; i < scrambled.size(); i += 7) scrambled[i] ^= 0x5A;
    const std::string pdf = "%PDF-1.4\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
    const struct {
        const char* name;
        testing::Bytes bytes;
        std::string_view problem;  // for a deck: no pages drawn, and a reason
    } cases[] = {
        {"cut.png", half(png), texts::kSlideDamaged},
        {"cut.jpg", half(jpeg), texts::kSlideDamaged},
        {"cut-baseline.jpg", half(baseline), texts::kSlideDamaged},
        {"huge.png", testing::patched(png, {{16, 0x40420F00}}), texts::kSlideDamaged},  // 1,000,000 wide
        {"scrambled.png", scrambled, texts::kSlideDamaged},
        {"signature-only.jpg", {0xFF, 0xD8, 0xFF}, texts::kSlideDamaged},
        {"almost-jpeg.jpg", {0xFF, 0xD9, 0xFF, 0xE0, 0, 16}, texts::kSlideUnknownFormat},
        {"empty.png", {}, texts::kSlideUnknownFormat},
        {"cut.pdf", {pdf.begin(), pdf.end()}, ""},
        {"noise.pdf", testing::noise(300), ""},
        {"empty.pdf", {}, ""},
    };
    for (const auto& c : cases) {
        const std::string path = dir.file(c.name);
        testing::writeFile(path, c.bytes);
        if (path.ends_with(".pdf")) {
            const PdfSlides deck = renderPdfSlides(path, dir.path().string(), 512);
            EXPECT_TRUE(deck.paths.empty()) << c.name;
            EXPECT_NE(deck.problem, "") << c.name;
            continue;
        }
        FrameCanvas canvas(64, 48);
        std::string problem;
        EXPECT_FALSE(drawSlideFrame(canvas, path, kPlaceStretch, &problem)) << c.name;
        EXPECT_EQ(problem, c.problem) << c.name;
        EXPECT_TRUE(std::ranges::all_of(canvas.pixels, [](std::uint8_t v) { return v == 255; })) << c.name;
    }
    // A slide as wide as a slide may be is drawn.
    const std::string wide = dir.file("wide.png");
    ASSERT_FALSE(testing::run("ffmpeg -v error -f lavfi -i color=red:s=" + std::to_string(SlideBitmap::kMaxSide) +
                              "x2 -frames:v 1 " + wide + " && echo ok").empty());
    FrameCanvas canvas(64, 48);
    std::string problem;
    EXPECT_TRUE(drawSlideFrame(canvas, wide, kPlaceStretch, &problem)) << problem;
}

}  // namespace
}  // namespace vorlix
