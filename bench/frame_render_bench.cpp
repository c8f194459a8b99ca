// Rendering a slide file into a 640 x 480 video frame: read, scale, pack. One frame per slide
// change. Rows by slide size and file format; a format the slide reader does not take yet
// reports "no decoder" and leaves its row to be filled. Beside them, the shrink alone, ours and
// libswscale's accurate area averaging (what the frames used before) on the same picture; the
// target is 2 ms for 1920 x 1080. Last, the frame's conversion into Motion JPEG's planes, ours and
// libswscale's (what the writer used before).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

extern "C" {
#include <libswscale/swscale.h>
}

#include "common/user_prompts.h"
#include "tests/support/files.h"
#include "video/conversion_driver.h"
#include "video/frame_renderer.h"
#include "video/jpeg_planes.h"
#include "video/slide_bitmap.h"

namespace {

using namespace vorlix;

enum Format { kBmp, kPng, kJpeg };
const char* const kExtension[] = {"bmp", "png", "jpg"};

// A slide file of the size, written once: dark strokes on white like lines of text, over a soft
// colour wash so that compressed formats have some picture to hold.
std::string slidePath(int w, int h, Format format) {
    static const testing::ScratchDir dir;  // removed when the benchmarks end
    const auto base = dir.file(std::to_string(w) + "x" + std::to_string(h));
    const auto bmp = base + ".bmp";
    if (!std::filesystem::exists(bmp)) {
        testing::writeFile(bmp, testing::bmpOf(w, h, [&](int x, int y) -> std::uint32_t {
                               const int line = y * 20 / h, inLine = y * 20 % h;
                               const bool ink = inLine < h / 2 && (x * 37 / w + line) % 5 != 0 &&
                                                (x * 7 + y * 3) % 11 < 4;
                               const auto wash = static_cast<std::uint32_t>(x * 48 / w);
                               return ink ? 0x202040u : 0xFFFFFFu - (wash << 16 | wash);
                           }));
    }
    if (format == kBmp) return bmp;
    const auto path = base + "." + kExtension[format];
    if (!std::filesystem::exists(path)) {
        const std::string command = "convert '" + bmp + "' -quality 90 '" + path + "'";
        if (std::system(command.c_str()) != 0) return {};
    }
    return path;
}

void renderSlide(benchmark::State& state) {
    const auto format = static_cast<Format>(state.range(2));
    const std::string path =
        slidePath(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), format);
    state.SetLabel(kExtension[format]);
    FrameCanvas probe(ConversionDriver::kWidth, ConversionDriver::kHeight);
    if (path.empty() || drawSlideBitmap(path, probe, kPlaceStretch) != 0) {
        state.SkipWithError("no decoder for this format yet");
        return;
    }
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
        slidePath(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), kBmp);
    for (auto _ : state) {
        auto slide = SlideBitmap::readFile(path);
        benchmark::DoNotOptimize(slide->row(0));
    }
}

// The shrink alone, onto the frame: ours.
void shrinkSlide(benchmark::State& state) {
    const auto slide = SlideBitmap::readFile(
        slidePath(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), kBmp));
    FrameCanvas canvas(ConversionDriver::kWidth, ConversionDriver::kHeight);
    for (auto _ : state) {
        drawSlide(*slide, canvas, kPlaceStretch);
        benchmark::DoNotOptimize(canvas.pixels.data());
    }
}

// The same shrink by libswscale's accurate area averaging of packed pixels.
void shrinkSlideSwscale(benchmark::State& state) {
    const auto slide = SlideBitmap::readFile(
        slidePath(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), kBmp));
    FrameCanvas canvas(ConversionDriver::kWidth, ConversionDriver::kHeight);
    SwsContext* ctx = sws_getContext(
        slide->width(), slide->height(), AV_PIX_FMT_BGR24, canvas.width, canvas.height,
        AV_PIX_FMT_BGR24, SWS_AREA | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP | SWS_ACCURATE_RND,
        nullptr, nullptr, nullptr);
    const std::uint8_t* const src[4] = {slide->row(0)};
    const int srcStride[4] = {static_cast<int>(slide->stride())};
    std::uint8_t* const dst[4] = {canvas.pixels.data()};
    const int dstStride[4] = {canvas.width * 3};
    for (auto _ : state) {
        sws_scale(ctx, src, srcStride, 0, slide->height(), dst, dstStride);
        benchmark::DoNotOptimize(canvas.pixels.data());
    }
    sws_freeContext(ctx);
}

// A drawn 640 x 480 frame into the planes of a full-range 4:2:0 picture: ours (range 0 = 0) or
// libswscale's bicubic conversion (1).
void jpegPlanes(benchmark::State& state) {
    const auto slide = SlideBitmap::readFile(slidePath(1920, 1080, kBmp));
    FrameCanvas canvas(ConversionDriver::kWidth, ConversionDriver::kHeight);
    drawSlide(*slide, canvas, kPlaceStretch);
    const int w = canvas.width, h = canvas.height;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(w) * h * 3 / 2);
    std::uint8_t* const planes[4] = {bytes.data(), bytes.data() + w * h,
                                     bytes.data() + w * h * 5 / 4, nullptr};
    const int strides[4] = {w, w / 2, w / 2, 0};
    const std::uint8_t* const src[4] = {canvas.pixels.data()};
    const int srcStride[4] = {w * 3};
    SwsContext* ctx = state.range(0) == 0
                          ? nullptr
                          : sws_getContext(w, h, AV_PIX_FMT_BGR24, w, h, AV_PIX_FMT_YUVJ420P,
                                           SWS_BICUBIC, nullptr, nullptr, nullptr);
    state.SetLabel(ctx == nullptr ? "ours" : "libswscale");
    for (auto _ : state) {
        if (ctx == nullptr) {
            toJpegPlanes(src[0], srcStride[0], w, h, planes, strides);
        } else {
            sws_scale(ctx, src, srcStride, 0, h, planes, strides);
        }
        benchmark::DoNotOptimize(bytes.data());
    }
    sws_freeContext(ctx);
}

}  // namespace

BENCHMARK(renderSlide)
    ->ArgNames({"w", "h", "format"})
    ->ArgsProduct({{1920}, {1080}, {kBmp, kPng, kJpeg}})
    ->ArgsProduct({{3840}, {2160}, {kBmp, kPng, kJpeg}})
    ->Args({1024, 768, kBmp})
    ->Args({640, 480, kBmp})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(readSlide)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(shrinkSlide)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(shrinkSlideSwscale)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond);

BENCHMARK(jpegPlanes)->ArgName("swscale")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
