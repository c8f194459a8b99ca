// Slides as presentation programs export them: a 1920 x 1080 PNG or JPEG slide into a 640 x 480
// video frame (read, decode, scale, pack; target as for bitmaps, 10 ms), beside the ffmpeg
// command line decoding and scaling the same file; and a 60-page PDF deck drawn into slide
// files at Start (target 10 s).
#include <benchmark/benchmark.h>

#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "tests/support/files.h"
#include "video/conversion_driver.h"
#include "video/frame_renderer.h"
#include "video/pdf_slides.h"

namespace {

using namespace vorlix;

const testing::ScratchDir& scratch() {
    static const testing::ScratchDir dir;  // removed when the benchmarks end
    return dir;
}

// A 1920 x 1080 slide like lines of coloured text on white, as PNG (0) or JPEG (1).
std::string slidePath(int kind) {
    const std::string bmp = scratch().file("slide.bmp");
    if (!std::filesystem::exists(bmp)) {
        testing::writeFile(bmp, testing::bmpOf(1920, 1080, [](int x, int y) -> std::uint32_t {
                               const int line = y / 54, inLine = y % 54;
                               const bool ink = inLine < 27 && (x / 26 + line) % 5 != 0 &&
                                                (x * 7 + y * 3) % 11 < 4;
                               return ink ? (line % 3 ? 0x202040u : 0xC02020u) : 0xFFFFFFu;
                           }));
    }
    const std::string path = scratch().file(kind == 0 ? "slide.png" : "slide.jpg");
    if (!std::filesystem::exists(path)) {
        const std::string command = "/usr/bin/convert " + bmp + " -quality 90 " + path;
        if (std::system(command.c_str()) != 0) return {};
    }
    return path;
}

void renderPictureSlide(benchmark::State& state) {
    const std::string path = slidePath(static_cast<int>(state.range(0)));
    if (path.empty()) return state.SkipWithError("ImageMagick could not write the slide");
    testing::FakePrompts prompts;
    std::unique_ptr<FrameImage> image;
    bool drawn = true;
    const DrawOperation draw = [&](FrameCanvas& c, std::int32_t) {
        drawn = drawSlideFrame(c, path, kPlaceStretch) && drawn;
    };
    for (auto _ : state) {
        renderFrame(image, ConversionDriver::kBitDepth, ConversionDriver::kWidth,
                    ConversionDriver::kHeight, 0, draw, prompts);
        benchmark::DoNotOptimize(image->block().data());
    }
    if (!drawn) state.SkipWithError("the slide was not drawn");
    state.SetLabel(state.range(0) == 0 ? "PNG" : "JPEG");
}

// ffmpeg decoding and scaling the same slide 100 times in one process, per frame.
void ffmpegPictureSlide(benchmark::State& state) {
    const std::string path = slidePath(static_cast<int>(state.range(0)));
    constexpr int kFrames = 100;
    // One thread each, as the conversion decodes; -loop 1 reads and decodes the file anew for
    // every frame.
    const std::string command =
        "ffmpeg -v error -nostdin -threads 1 -loop 1 -i " + path + " -frames:v " +
        std::to_string(kFrames) +
        " -filter_threads 1 -vf scale=640:480:flags=area -pix_fmt bgr24 -f null -";
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) return state.SkipWithError("ffmpeg failed");
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
            kFrames);
    }
    state.SetLabel(state.range(0) == 0 ? "PNG" : "JPEG");
}

// A 60-page deck with a dozen lines of text a page, drawn into 1920-pixel-wide slide files.
void pdfDeck60(benchmark::State& state) {
    const std::string pdf = scratch().file("deck.pdf");
    {  // 60 pages of 16:9, each a tinted background with a dozen dark bars standing for lines of text
        QPdfWriter deck(QString::fromStdString(pdf));
        deck.setPageSize(QPageSize(QSizeF(960, 540), QPageSize::Point));
        deck.setPageMargins(QMarginsF());
        deck.setResolution(72);
        QPainter page(&deck);
        for (int i = 0; i < 60; ++i) {
            if (i) deck.newPage();
            page.fillRect(QRect(0, 0, 960, 540), QColor(200 + i % 50, 230, 255 - i));
            for (int l = 0; l < 12; ++l) page.fillRect(96, 48 + 36 * l, 400 + 23 * (l % 5), 14, Qt::black);
        }
    }
    int n = 0;
    for (auto _ : state) {
        const std::string folder = scratch().file("pages" + std::to_string(n++));
        std::filesystem::create_directories(folder);
        const PdfSlides slides = renderPdfSlides(pdf, folder, 512);
        if (slides.paths.size() != 60 || slides.pagesNotDrawn != 0)
            return state.SkipWithError("pages missing");
    }
}

}  // namespace

BENCHMARK(renderPictureSlide)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(ffmpegPictureSlide)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(pdfDeck60)->Iterations(2)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
