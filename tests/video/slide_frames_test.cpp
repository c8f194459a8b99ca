// A slide that comes back is copied from the last time, not read again: the file changes under
// the conversion, and what shows tells whether it was kept or read again.
#include "video/slide_frames.h"

#include <gtest/gtest.h>

#include "tests/support/files.h"
#include "video/frame_renderer.h"

namespace vorlix::testing {
namespace {

struct Folder : ScratchDir {
    std::string slide(const std::string& name, std::uint32_t rgb, bool lines = false) {
        writeFile(file(name),
                  bmpOf(12, 9, [=](int x, int y) { return lines && (x + y) % 4 ? 0 : rgb; }));
        return file(name);
    }
};
FrameCanvas drawn(SlideFrames& frames, const std::string& path) {
    FrameCanvas canvas(64, 48);
    return frames.draw(canvas, path), canvas;
}

// Within the byte budget the first slide's frame outlives the second's, drawn as the renderer
// draws it; beyond, it is read again.
TEST(SlideFrames, RepeatsAreCopiedWithinTheBudget) {
    const std::size_t frame = 64 * 48 * 3;
    for (const auto& [budget, kept] : std::initializer_list<std::pair<std::size_t, bool>>{
             {SlideFrames::kDefaultBudget, true}, {2 * frame, true}, {frame, false}}) {
        Folder dir;
        const std::string a = dir.slide("a.bmp", 0x3060C0, true);
        FrameCanvas expected(64, 48), fresh(64, 48);
        drawSlideFrame(expected, a, kPlaceStretch);
        SlideFrames frames(kPlaceStretch, budget);
        EXPECT_EQ(drawn(frames, a).pixels, expected.pixels);
        drawn(frames, dir.slide("b.bmp", 0xC06030, true));
        drawSlideFrame(fresh, dir.slide("a.bmp", 0x00FF00, true), kPlaceStretch);
        EXPECT_EQ(drawn(frames, a).pixels, kept ? expected.pixels : fresh.pixels) << budget;
    }
}

// Told the lines ahead, only slides that come back are kept, each until its last line.
TEST(SlideFrames, ToldTheLinesAheadKeepsOnlySlidesThatComeBack) {
    Folder dir;
    const std::string a = dir.slide("a.bmp", 0xAA), b = dir.slide("b.bmp", 0xBB),
                      c = dir.slide("c.bmp", 0xCC);
    SlideFrames frames(kPlaceStretch);
    frames.expect({a, c, b, a, c});
    for (const std::string& path : {a, c, b}) drawn(frames, path);
    dir.slide("a.bmp", 0x11), dir.slide("b.bmp", 0x22), dir.slide("c.bmp", 0x33);
    const std::pair<std::string, int> steps[] = {{a, 0xAA}, {c, 0xCC}, {b, 0x22}, {a, 0x11}};
    for (const auto& [path, shown] : steps)
        EXPECT_EQ(drawn(frames, path).row(0)[1 * 3], shown) << path;
}

// A frame used for the last time gives its room back to the slides still to come.
TEST(SlideFrames, AFrameSeenForTheLastTimeMakesRoom) {
    Folder dir;
    const std::string a = dir.slide("a.bmp", 0xAA), b = dir.slide("b.bmp", 0xBB),
                      c = dir.slide("c.bmp", 0xCC);
    SlideFrames frames(kPlaceStretch, 2 * 64 * 48 * 3);
    frames.expect({a, a, b, c, b, c});
    for (const std::string& path : {a, a, b, c}) drawn(frames, path);
    dir.slide("b.bmp", 0x22);
    EXPECT_EQ(drawn(frames, b).row(0)[1 * 3], 0xBB);
}

}  // namespace
}  // namespace vorlix::testing
