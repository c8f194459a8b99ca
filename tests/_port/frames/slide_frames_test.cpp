// A slide that comes back is copied from the last time, not read again.
#include "video/slide_frames.h"

#include <gtest/gtest.h>

#include "tests/support/bmp_writer.h"
#include "tests/support/scratch_dir.h"
#include "video/frame_renderer.h"

namespace vorlix {
namespace {

TEST(SlideFrames, RepeatsAreCopiedWithinTheBudget) {
    const testing::ScratchDir dir;
    auto slide = [&](const std::string& name, std::uint32_t colour) {
        const std::string path = dir.file(name);
        testing::writeFile(path, testing::bmp24(96, 72, [&](int x, int y) {
                               return (x + y) % 9 == 0 ? 0u : colour;
                           }));
        return path;
    };
    const std::size_t frame = 64 * 48 * 3;
    struct Case {
        std::size_t budget;
        bool kept;  // the first slide's frame survives the second slide
    } cases[] = {{SlideFrames::kDefaultBudget, true}, {2 * frame, true}, {frame, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.budget);
        const std::string a = slide("a.bmp", 0x3060C0), b = slide("b.bmp", 0xC06030);
        FrameCanvas first(64, 48), expected(64, 48);
        drawSlideFrame(expected, a, kPlaceStretch);

        SlideFrames frames(kPlaceStretch, c.budget);
        frames.draw(first, a);
        EXPECT_EQ(first.pixels, expected.pixels);
        FrameCanvas second(64, 48);
        frames.draw(second, b);
        // The file changes under the conversion: a kept frame shows that it was not read again.
        const std::string changed = slide("a.bmp", 0x00FF00);
        FrameCanvas again(64, 48), fresh(64, 48);
        frames.draw(again, a);
        drawSlideFrame(fresh, changed, kPlaceStretch);
        EXPECT_EQ(again.pixels, c.kept ? expected.pixels : fresh.pixels);
        EXPECT_NE(expected.pixels, fresh.pixels);
    }
}

TEST(SlideFrames, ToldTheLinesAheadKeepsOnlySlidesThatComeBack) {
    const testing::ScratchDir dir;
    auto slide = [&](const std::string& name, std::uint32_t colour) {
        const std::string path = dir.file(name);
        testing::writeFile(path, testing::bmp24(8, 6, [&](int, int) { return colour; }));
        return path;
    };
    auto colourOf = [](const FrameCanvas& c) { return unsigned{c.pixels[0]} | c.pixels[1] << 8u; };
    const std::string a = slide("a.bmp", 0x0000AA), b = slide("b.bmp", 0x0000BB),
                      c = slide("c.bmp", 0x0000CC);
    SlideFrames frames(kPlaceStretch);
    frames.expect({a, c, b, a, c});
    FrameCanvas canvas(16, 12);
    for (const std::string& path : {a, c, b}) frames.draw(canvas, path);
    // Every file changes now: what shows tells whether it was kept or read again.
    slide("a.bmp", 0x000011), slide("b.bmp", 0x000022), slide("c.bmp", 0x000033);
    struct Step {
        std::string path;
        unsigned shown;
    } steps[] = {{a, 0xAA},   // kept for its second line
                 {c, 0xCC},   // kept for its second line
                 {b, 0x22},   // shown once only, never kept
                 {a, 0x11}};  // past its last line: dropped
    for (const auto& s : steps) {
        frames.draw(canvas, s.path);
        EXPECT_EQ(colourOf(canvas), s.shown) << s.path;
    }
}

TEST(SlideFrames, UnreadableSlidesAreWhiteAndTriedAgain) {
    const testing::ScratchDir dir;
    const std::string path = dir.file("late.bmp");
    SlideFrames frames(kPlaceStretch);
    FrameCanvas canvas(640, 480);
    frames.draw(canvas, path);
    EXPECT_EQ(canvas.pixels, std::vector<std::uint8_t>(canvas.pixels.size(), 0xFF));
    testing::writeFile(path, testing::bmp24(640, 480, [](int, int) { return 0x102030u; }));
    frames.draw(canvas, path);
    EXPECT_EQ(canvas.pixels[0], 0x30);
}

}  // namespace
}  // namespace vorlix
