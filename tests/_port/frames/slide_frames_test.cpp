// A slide that comes back is copied from the last time, not read again.
#include "video/slide_frames.h"

#include <gtest/gtest.h>

#include "tests/support/bmp_writer.h"
#include "tests/support/scratch_dir.h"
#include "video/frame_renderer.h"

namespace vorlix {
namespace {

TEST(SlideFrames, KeepsTheFramesOfSlidesThatComeBack) {
    const testing::ScratchDir dir;
    auto slide = [&](const std::string& name, std::uint32_t colour) {
        const std::string path = dir.file(name);
        testing::writeFile(path, testing::bmp24(12, 9, [&](int, int) { return colour; }));
        return path;
    };
    const std::string a = dir.file("a.bmp"), b = dir.file("b.bmp"), c = dir.file("c.bmp");
    const std::size_t frame = 8 * 6 * 3;
    struct Case {
        const char* what;
        std::size_t budget;
        std::vector<std::string> plan;  // empty: no lines told ahead
        unsigned c, b, a;               // blue of each frame drawn again after the files changed
    } cases[] = {
        {"most recent kept", SlideFrames::kDefaultBudget, {}, 0xCC, 0xBB, 0xAA},
        {"budget of two frames", 2 * frame, {}, 0xCC, 0xBB, 0x11},
        {"only what comes back", SlideFrames::kDefaultBudget, {a, b, c, c, a}, 0xCC, 0x22, 0xAA},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        slide("a.bmp", 0xAA), slide("b.bmp", 0xBB), slide("c.bmp", 0xCC);
        SlideFrames frames(kPlaceStretch, t.budget);
        if (!t.plan.empty()) frames.expect(t.plan);
        FrameCanvas canvas(8, 6);
        for (const std::string& path : {a, b, c}) frames.draw(canvas, path);
        // Every file changes now: what shows tells whether it was kept or read again.
        slide("a.bmp", 0x11), slide("b.bmp", 0x22), slide("c.bmp", 0x33);
        for (const auto& [path, blue] : {std::pair{c, t.c}, {b, t.b}, {a, t.a}}) {
            frames.draw(canvas, path);
            EXPECT_EQ(canvas.pixels[0], blue) << path;
        }
    }
    // A slide that could not be read is white, and read again when it comes back.
    SlideFrames frames(kPlaceStretch);
    FrameCanvas canvas(8, 6);
    frames.draw(canvas, dir.file("late.bmp"));
    EXPECT_EQ(canvas.pixels, std::vector<std::uint8_t>(canvas.pixels.size(), 0xFF));
    frames.draw(canvas, slide("late.bmp", 0x44));
    EXPECT_EQ(canvas.pixels[0], 0x44);
}

}  // namespace
}  // namespace vorlix
