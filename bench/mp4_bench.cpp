// The web video of a one-hour lecture (61 slides of 1920 x 1080, 60 changes, an hour of 8-bit
// speech), measured against ffmpeg doing the same job in the same run (concat of the slides,
// libx264, aac at 96 kb/s). Wall time, every core:
//   LiveHour    the sound encoded while recording (here from the finished narration at once):
//               its CPU time is spread over the hour of the lecture
//   AfterEnd    what the window does after End: the sound encoded while recording is there, only
//               its level is set
//   Remake      what the converter does without it: the sound encoded from the narration
//   Ffmpeg      ffmpeg -f concat ... -c:v libx264 -c:a aac (no loudness work at all)
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <random>

#include "tests/support/files.h"
#include "video/live_sound.h"
#include "video/mp4_writer.h"
#include "video/web_audio.h"

namespace vorlix {
namespace {

struct Lecture {
    std::filesystem::path dir;
    std::vector<SlideChange> changes;
    std::int64_t end = 3600 * kChangeRate;
    std::string narration;

    Lecture() {
        dir = std::filesystem::temp_directory_path() /
              ("vorlix-mp4-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        const std::string d = dir.string();
        testing::run(
            "cd '" + d +
            "' && ffmpeg -v error -f lavfi -i testsrc2=s=1920x1080:r=1 -frames:v 61 "
            "-c:v bmp -pix_fmt bgr24 slide%d.bmp");
        narration = d + "/narration.wav";
        // A minute of speech, repeated to the hour.
        testing::writeSpeech(d + "/minute.wav", 60, 0.4);
        testing::run("sox '" + d + "/minute.wav' '" + narration + "' repeat 60 trim 0 3600");
        std::mt19937 rng(5);
        std::vector<std::int64_t> at;
        for (int i = 0; i < 60; ++i)
            at.push_back(std::uniform_int_distribution<std::int64_t>(1, end - 1)(rng));
        std::sort(at.begin(), at.end());
        changes.push_back({0, d + "/slide1.bmp"});
        for (int i = 0; i < 60; ++i)
            changes.push_back({at[i], d + "/slide" + std::to_string(i + 2) + ".bmp"});
        std::string concat;
        for (std::size_t i = 0; i < changes.size(); ++i) {
            const std::int64_t next = i + 1 < changes.size() ? changes[i + 1].sample : end;
            concat += "file '" + changes[i].slidePath + "'\nduration " +
                      std::to_string(static_cast<double>(next - changes[i].sample) / kChangeRate) +
                      "\n";
        }
        concat += "file '" + changes.back().slidePath + "'\n";
        testing::writeFile(d + "/concat.txt",
                           std::vector<std::uint8_t>(concat.begin(), concat.end()));
        testing::run("cat '" + d + "'/* > /dev/null");  // from the page cache
    }
    ~Lecture() { std::filesystem::remove_all(dir); }
};

// CPU seconds of every thread of this process (or of the programs it ran), for a figure that a
// loaded machine does not bend as much as the wall time.
double cpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

Lecture& lecture() {
    static Lecture l;
    return l;
}

void mp4(benchmark::State& state, bool encodedWhileRecording) {
    Lecture& l = lecture();
    const std::string encoded = encodedNarrationPath(l.narration), aside = encoded + ".aside";
    std::error_code ec;  // (a run of the remake alone has none to put aside)
    if (!encodedWhileRecording) std::filesystem::rename(encoded, aside, ec);
    for (auto _ : state) {
        Mp4Job job;
        job.outputPath = (l.dir / "v.mp4").string();
        job.changes = l.changes;
        job.endSample = l.end;
        job.narrationPath = l.narration;
        const double cpu = cpuSeconds(RUSAGE_SELF);
        const Mp4Result r = writeMp4(job);
        state.counters["cpu_s"] = cpuSeconds(RUSAGE_SELF) - cpu;
        if (!r.ok) state.SkipWithError(r.error.c_str());
        state.counters["MB"] =
            static_cast<double>(std::filesystem::file_size(job.outputPath)) / 1e6;
        state.counters["gain_dB"] = r.gainDb;
    }
    if (!encodedWhileRecording) std::filesystem::rename(aside, encoded, ec);
}

void BM_Mp4AfterEnd(benchmark::State& state) {
    mp4(state, true);
}
void BM_Mp4Remake(benchmark::State& state) {
    mp4(state, false);
}

void BM_Ffmpeg(benchmark::State& state) {
    Lecture& l = lecture();
    const std::string d = l.dir.string();
    for (auto _ : state) {
        const double cpu = cpuSeconds(RUSAGE_CHILDREN);
        testing::run(
            "ffmpeg -nostdin -v error -y -f concat -safe 0 -i '" + d + "/concat.txt' -i '" +
            l.narration +
            "' -map 0:v -map 1:a -vf scale=1280:720,format=yuv420p "
            "-fps_mode vfr -c:v libx264 -preset fast -tune stillimage -crf 22 -c:a aac "
            "-b:a 96k -ar 48000 -movflags +faststart '" +
            d + "/f.mp4'");
        state.counters["cpu_s"] = cpuSeconds(RUSAGE_CHILDREN) - cpu;
        state.counters["MB"] = static_cast<double>(std::filesystem::file_size(d + "/f.mp4")) / 1e6;
    }
}

void BM_LiveHour(benchmark::State& state) {
    Lecture& l = lecture();
    for (auto _ : state) {
        const double cpu = cpuSeconds(RUSAGE_SELF);
        LiveSoundEncoder live;
        live.start(l.narration);
        if (!live.finish()) state.SkipWithError("the sound was not encoded");
        state.counters["cpu_s"] = cpuSeconds(RUSAGE_SELF) - cpu;
        state.counters["MB"] =
            static_cast<double>(std::filesystem::file_size(encodedNarrationPath(l.narration))) / 1e6;
    }
}

BENCHMARK(BM_LiveHour)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_Mp4AfterEnd)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1)->Repetitions(2);
BENCHMARK(BM_Mp4Remake)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1)->Repetitions(2);
BENCHMARK(BM_Ffmpeg)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1)->Repetitions(2);

}  // namespace
}  // namespace vorlix

BENCHMARK_MAIN();
