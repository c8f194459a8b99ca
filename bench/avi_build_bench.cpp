// The whole conversion of a lecture, in process: 61 slides of 1920 x 1080 at 24 bits, 60 slide
// changes at random ticks plus the closing line, one hour of 8-bit mono narration, Motion JPEG;
// and a four-hour lecture with the same 60 changes. The data is made once, on disk, before the
// first run, and removed at the end.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "common/user_prompts.h"
#include "recording/narration_file.h"
#include "tests/support/files.h"
#include "video/conversion_driver.h"
#include "video/frame_memory.h"

namespace {

namespace fs = std::filesystem;
using namespace vorlix;

constexpr int kSlideW = 1920, kSlideH = 1080, kSlides = 61;

class Answers : public UserPrompts {
  public:
    explicit Answers(std::string out) : out_(std::move(out)) {}
    void showMessage(std::string_view, std::string_view) override {}
    bool askYesNo(std::string_view) override { return true; }
    std::optional<std::string> chooseFolder(std::string_view) override { return std::nullopt; }
    std::optional<std::string> askSavePath(std::string_view, std::string_view,
                                           std::string_view) override {
        return out_;
    }
    std::optional<CodecChoice> chooseCodec(const std::vector<CodecOption>&) override {
        return CodecChoice{"mjpeg", 90};
    }

  private:
    std::string out_;
};

// A slide: bars of colour with "text" lines of fine detail, different for every number.
void writeSlide(const std::string& path, int number) {
    testing::writeFile(path, testing::bmpOf(kSlideW, kSlideH, [&](int x, int top) {
                           const int y = kSlideH - 1 - top;  // from the bottom
                           const bool text =
                               (y / 40) % 2 == 1 && ((x * 7 + y * 3 + number * 11) % 23) < 9;
                           if (text) return 0x141414u;
                           const std::uint32_t r = (240 - number) & 0xFF;
                           const std::uint32_t g = (230 - (y * 60 / kSlideH)) & 0xFF;
                           const std::uint32_t b = (200 + number) & 0xFF;
                           return r << 16 | g << 8 | b;
                       }));
}

// Narration of noise at the level of a voice, written as the recorder writes it.
void writeNarration(const std::string& path, std::int64_t seconds) {
    Answers answers(path);
    NarrationFile narration(answers);
    narration.createAt(path);
    std::vector<std::uint8_t> second(NarrationFile::kSampleRate);
    std::mt19937 noise(7);
    for (auto& s : second) s = static_cast<std::uint8_t>(128 + static_cast<int>(noise() % 64) - 32);
    for (std::int64_t s = 0; s < seconds; ++s) narration.append(second);
    narration.finish();
}

struct Lecture {
    fs::path dir;
    std::string timeline[5];  // by hours
    std::string narration[5];

    Lecture() {
        dir = fs::temp_directory_path() / "vorlix-avi-bench";
        fs::create_directories(dir);
        for (int i = 1; i <= kSlides; ++i) {
            std::string p = (dir / ("slide" + std::to_string(i) + ".bmp")).string();
            if (!fs::exists(p)) writeSlide(p, i);
        }
        std::mt19937 random(5);
        std::set<int> ticks;
        while (ticks.size() < 60) ticks.insert(1 + static_cast<int>(random() % 7199));
        // The four-hour lecture has the same 60 changes, spread over its length.
        for (int h : {1, 4}) {
            timeline[h] = (dir / ("timeline" + std::to_string(h) + "h.tmp")).string();
            std::FILE* f = std::fopen(timeline[h].c_str(), "w");
            std::fprintf(f, "0,%s/slide1.bmp\n", dir.c_str());
            int n = 2;
            for (int t : ticks) std::fprintf(f, "%d,%s/slide%d.bmp\n", t * h, dir.c_str(), n++);
            std::fprintf(f, "%d,%s/slide%d.bmp\n", 7200 * h, dir.c_str(), kSlides);
            std::fclose(f);
        }
        for (int h : {1, 4}) {
            narration[h] = (dir / ("narration" + std::to_string(h) + "h.wav")).string();
            if (!fs::exists(narration[h])) writeNarration(narration[h], h * 3600);
        }
        ::sync();  // the made data on disk, so that its writing does not slow the runs
    }
};

Lecture& lecture() {
    static Lecture l;
    return l;
}

void BM_ConvertLecture(benchmark::State& state) {
    keepFrameBuffersMapped();
    av_log_set_level(AV_LOG_ERROR);
    Lecture& l = lecture();
    const int hours = static_cast<int>(state.range(0));
    const std::string out = (l.dir / "lecture.avi").string();
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(out);  // replacing a large file is not part of the conversion
        ::sync();
        state.ResumeTiming();
        Answers answers(out);
        ConversionState done;
        ConversionDriver driver(answers, done);
        driver.runConversion(l.timeline[hours], l.narration[hours], 7200 * hours);
        if (done.conversionFinished != 1 || driver.lastReport().framesWritten != 62) {
            state.SkipWithError("conversion failed");
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.counters["avi_MB"] = static_cast<double>(fs::file_size(out)) / 1e6;
}
BENCHMARK(BM_ConvertLecture)
    ->Arg(1)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(fs::temp_directory_path() / "vorlix-avi-bench", ec);  // 1.2 GB of made data
    return 0;
}
