// Rendering a slide file into a 640 x 480 video frame: read, scale, pack. One frame per slide
// change; the target is 10 ms for a 1920 x 1080 24-bit slide.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "common/user_prompts.h"
#include "tests/support/files.h"
#include "video/conversion_driver.h"
#include "video/frame_renderer.h"
#include "video/slide_bitmap.h"

namespace {

using namespace vorlix;

// A slide file of the size, written once: dark strokes on white like lines of text.
std::string slidePath(int w, int h) {
    static const testing::ScratchDir dir;  // removed when the benchmarks end
    const auto path = dir.file(std::to_string(w) + "x" + std::to_string(h) + ".bmp");
    if (!std::filesystem::exists(path)) {
        testing::writeFile(path, testing::bmpOf(w, h, [&](int x, int y) -> std::uint32_t {
                               const int line = y * 20 / h, inLine = y * 20 % h;
                               const bool ink = inLine < h / 2 && (x * 37 / w + line) % 5 != 0 &&
                                                (x * 7 + y * 3) % 11 < 4;
                               return ink ? 0x202040u : 0xFFFFFFu;
                           }));
    }
    return path;
}

void renderSlide(benchmark::State& state) {
    const std::string path =
        slidePath(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    testing::FakePrompts prompts;
    std::unique_ptr<FrameImage> image;
    const DrawOperation draw = [&](FrameCanvas& c, std::int32_t) {
        drawSlideFrame(c, path, kPlaceStretch);
    };
    for (auto _ : state) {
        renderFrame(image, ConversionDriver::kBitDepth, ConversionDriver::kWidth,
                    ConversionDriver::kHeight, 0, draw, prompts);
        benchmark::DoNotOptimize(image->block().data());
    }
}

// The reading share of it.
void readSlide(benchmark::State& state) {
    const std::string path =
        slidePath(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        auto slide = SlideBitmap::readFile(path);
        benchmark::DoNotOptimize(slide->row(0));
    }
}

}  // namespace

BENCHMARK(renderSlide)
    ->Args({1920, 1080})
    ->Args({1024, 768})
    ->Args({3840, 2160})
    ->Args({640, 480})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(readSlide)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
