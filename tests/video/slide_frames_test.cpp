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
        testing::writeFile(path, testing::bmp24(800, 600, [&](int x, int y) {
                               return (x + y) % 9 == 0 ? 0u : colour;
                           }));
        return path;
    };
    const std::size_t frame = 640 * 480 * 3;
    struct Case {
        std::size_t budget;
        bool kept;  // the first slide's frame survives the second slide
    } cases[] = {{SlideFrames::kDefaultBudget, true}, {2 * frame, true}, {frame, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.budget);
        const std::string a = slide("a.bmp", 0x3060C0), b = slide("b.bmp", 0xC06030);
        FrameCanvas first(640, 480), expected(640, 480);
        drawSlideFrame(expected, a, kPlaceStretch);

        SlideFrames frames(kPlaceStretch, c.budget);
        frames.draw(first, a);
        EXPECT_EQ(first.pixels, expected.pixels);
        FrameCanvas second(640, 480);
        frames.draw(second, b);
        // The file changes under the conversion: a kept frame shows that it was not read again.
        const std::string changed = slide("a.bmp", 0x00FF00);
        FrameCanvas again(640, 480), fresh(640, 480);
        frames.draw(again, a);
        drawSlideFrame(fresh, changed, kPlaceStretch);
        EXPECT_EQ(again.pixels, c.kept ? expected.pixels : fresh.pixels);
        EXPECT_NE(expected.pixels, fresh.pixels);
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
