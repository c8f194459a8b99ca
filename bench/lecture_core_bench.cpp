// The lecture core's work per capture buffer (every two seconds, on the user-interface thread)
// and the timeline file at its largest.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "lecture/slide_timeline.h"
#include "lecture/timeline_file.h"
#include "lecture/timeline_reader.h"
#include "common/user_prompts.h"
#include "recording/level_meter.h"
#include "recording/narration_file.h"
#include "recording/recorder.h"

namespace {

constexpr std::size_t kBuffer = vorlix::Recorder::kBufferLength;

std::vector<std::uint8_t> speechLikeBuffer() {
    std::mt19937 rng(7);
    std::normal_distribution<double> voice(128.0, 30.0);
    std::vector<std::uint8_t> b(kBuffer);
    for (auto& s : b) s = static_cast<std::uint8_t>(std::clamp(voice(rng), 0.0, 255.0));
    return b;
}

std::string scratchPath(const char* name) {
    return (std::filesystem::temp_directory_path() /
            ("vorlix-bench-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

class SilentPrompts : public vorlix::UserPrompts {
  public:
    void showMessage(std::string_view, std::string_view) override {}
    bool askYesNo(std::string_view) override { return false; }
    std::optional<std::string> chooseFolder(std::string_view) override { return {}; }
    std::optional<std::string> askSavePath(std::string_view, std::string_view,
                                           std::string_view) override {
        return {};
    }
    std::optional<vorlix::CodecChoice> chooseCodec(
        const std::vector<vorlix::CodecOption>&) override {
        return {};
    }
};

void BM_LevelMeterOneBuffer(benchmark::State& state) {
    const auto buffer = speechLikeBuffer();
    for (auto _ : state) {
        const auto range = vorlix::levelRange(buffer);
        benchmark::DoNotOptimize(vorlix::levelText(range));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBuffer));
}
BENCHMARK(BM_LevelMeterOneBuffer);

// One append: the buffer, then both length fields of the header.
void BM_NarrationAppendOneBuffer(benchmark::State& state) {
    const auto buffer = speechLikeBuffer();
    const std::string path = scratchPath("narration.wav");
    SilentPrompts prompts;
    vorlix::NarrationFile narration(prompts);
    narration.createAt(path);
    int sinceCreate = 0;
    for (auto _ : state) {
        if (++sinceCreate == 500) {  // keep the file near 44 MB: a lecture's size, not the disk's
            state.PauseTiming();
            narration.createAt(path);
            sinceCreate = 0;
            state.ResumeTiming();
        }
        narration.append(buffer);
    }
    narration.finish();
    std::remove(path.c_str());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBuffer));
}
BENCHMARK(BM_NarrationAppendOneBuffer)->Unit(benchmark::kMicrosecond);

struct FullTimeline {
    std::unique_ptr<vorlix::SlideTimeline> timeline = std::make_unique<vorlix::SlideTimeline>();
    vorlix::SlideList slides;
    FullTimeline() {
        std::vector<std::string> paths;
        for (int i = 1; i <= 512; ++i) {
            paths.push_back("/home/先生/講義 スライド/スライド" + std::to_string(i) + ".bmp");
        }
        slides.assign(paths);
        for (int i = 0; i < vorlix::SlideTimeline::kMaxEntries; ++i) timeline->append(i, i % 512);
        timeline->writeSentinel();
    }
};

void BM_TimelineFileWriteFull(benchmark::State& state) {
    FullTimeline full;
    const std::string path = scratchPath("timeline.tmp");
    for (auto _ : state) {
        benchmark::DoNotOptimize(vorlix::TimelineFile::writeAt(path, *full.timeline, full.slides));
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_TimelineFileWriteFull)->Unit(benchmark::kMicrosecond);

void BM_TimelineFileReadFull(benchmark::State& state) {
    FullTimeline full;
    const std::string path = scratchPath("timeline-read.tmp");
    vorlix::TimelineFile::writeAt(path, *full.timeline, full.slides);
    for (auto _ : state) {
        vorlix::TimelineReader reader;
        reader.open(path);
        int lines = 0;
        while (reader.nextLine(lines) == 1) ++lines;
        benchmark::DoNotOptimize(lines);
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_TimelineFileReadFull)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
