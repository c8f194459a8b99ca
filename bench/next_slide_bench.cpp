// Next on large slides: what the window does for each step, loading the current, next and
// previous slide files and stretching them onto the three previews. Target: at most 30 ms at the
// 95th percentile for 1920 x 1080 slides.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <algorithm>
#include <vector>

#include "app/qt_lecture_view.h"
#include "app/qt_text.h"
#include "app/recorder_dialog.h"
#include "lecture/slide_folder.h"
#include "lecture/slide_timeline.h"

namespace {

// Slides with some drawing on them, so the files are not trivially uniform.
std::vector<std::string> makeSlides(const QTemporaryDir& dir, int width, int height, int count) {
    for (int n = 1; n <= count; ++n) {
        QImage slide(width, height, QImage::Format_RGB888);
        slide.fill(QColor::fromHsv(n * 40 % 360, 80, 250));
        QPainter p(&slide);
        p.setPen(Qt::black);
        QFont f = p.font();
        f.setPixelSize(height / 10);
        p.setFont(f);
        p.drawText(slide.rect(), Qt::AlignCenter, QStringLiteral("Slide %1").arg(n));
        p.end();
        slide.save(dir.filePath(QStringLiteral("スライド%1.bmp").arg(n)), "BMP");
    }
    return vorlix::enumerateSlides(vorlix::utf8(dir.path()) + "/");
}

double percentile95(const std::vector<double>& v) {
    std::vector<double> s(v);
    std::sort(s.begin(), s.end());
    const std::size_t i = std::min(s.size() - 1, (s.size() * 95 + 99) / 100 - 1);
    return s[i];
}

void BM_NextSlide(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    QTemporaryDir dir;
    const auto slides = makeSlides(dir, width, height, 6);
    vorlix::RecorderDialog dialog;
    vorlix::QtLectureView view(dialog);
    std::int32_t k = 0;
    for (auto _ : state) {
        k = (k + 1) % static_cast<std::int32_t>(slides.size());
        const vorlix::PreviewChoice p =
            vorlix::choosePreviews(k, static_cast<std::int32_t>(slides.size()));
        view.showPreviews(slides[static_cast<std::size_t>(p.current)],
                          slides[static_cast<std::size_t>(p.next)],
                          slides[static_cast<std::size_t>(p.previous)]);
    }
    state.counters["slide_MB"] =
        static_cast<double>(QFileInfo(vorlix::qs(slides[0])).size()) / 1e6;
}
BENCHMARK(BM_NextSlide)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(60)
    ->ComputeStatistics("p95", percentile95)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vorlix::initResources();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
