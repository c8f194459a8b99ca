// A real recording of a minute (VORLIX_DRIFT_SECONDS to change it; VORLIX_DRIFT_VERBOSE to list
// every buffer) through the Qt microphone,
// the recorder and the lecture clock, on the sound server of tests/e2e/servers.sh (which
// scripts/run-benchmarks.sh runs it under) fed by a tone:
//   drift_ppm             buffers' completion times against wall time (2 s per buffer), fitted;
//   drift_ms_per_min      the same as milliseconds per minute; jitter_ms: largest distance
//                         of one completion from the fitted line
//   first_buffer_s        from start recording to the first full buffer
//   max_gap_ms            largest wait between a buffer filling and the recorder handling it
//   cpu_pct               this process's CPU time over the recording (16-bit capture, both
//                         narration files), percent of one core: also CPU seconds per 100 s
//   cpu_s_per_min         the same as CPU seconds per minute recorded
//   ffmpeg_cpu_pct        ffmpeg recording the same microphone into a 16-bit WAV over the same
//                         stretch, percent of one core; cpu_ratio_vs_ffmpeg = ours / ffmpeg's
//   wide_bytes_per_s      what reached the 16-bit narration per second recorded (88200 expected)
//   overrun_bytes         sound that found no queued buffer (lost)
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QScopeGuard>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/qt_wave_input.h"
#include "lecture/lecture_clock.h"
#include "common/lecture_view.h"
#include "common/user_prompts.h"
#include "recording/narration_file.h"
#include "recording/recorder.h"
#include "tests/support/files.h"

namespace {

using Clock = std::chrono::steady_clock;

class TimingView final : public vorlix::LectureView {
  public:
    void setClockText(const std::string&) override {}
    void setLevelText(const std::string&) override {}
    // Called inside the recorder's handling of each buffer.
    void setRecIndicator(bool) override { handled.push_back(Clock::now()); }
    void setStartEnabled(bool) override {}
    void showPreviews(const std::string&, const std::string&, const std::string&) override {}
    std::vector<Clock::time_point> handled;
};

class Prompts final : public vorlix::UserPrompts {
  public:
    void showMessage(std::string_view text, std::string_view) override {
        std::fprintf(stderr, "message: %.*s\n", static_cast<int>(text.size()), text.data());
    }
    bool askYesNo(std::string_view) override { return false; }
    std::optional<std::string> chooseFolder(std::string_view) override { return std::nullopt; }
    std::optional<std::string> askSavePath(std::string_view, std::string_view,
                                           std::string_view) override {
        return std::nullopt;
    }
    std::optional<vorlix::CodecChoice> chooseCodec(
        const std::vector<vorlix::CodecOption>&) override {
        return std::nullopt;
    }
};

// Serves the event loop until the condition holds; false after the timeout.
bool serveUntil(const std::function<bool()>& done, std::chrono::seconds timeout) {
    const auto until = Clock::now() + timeout;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || Clock::now() >= until) loop.quit();
    });
    poll.start(5);
    if (!done()) loop.exec();
    return done();
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void BM_RealRecording(benchmark::State& state) {
    const char* env = std::getenv("VORLIX_DRIFT_SECONDS");
    const int wanted = std::max(6, env != nullptr ? std::atoi(env) : 60);
    const int buffers = wanted / 2;

    for (auto _ : state) {
        if (std::getenv("VORLIX_PULSE_PID") == nullptr) {
            state.SkipWithError("no sound server: run under tests/e2e/servers.sh");
            return;
        }
        const vorlix::testing::ScratchDir folder;
        const std::string tone = folder.file("tone.wav");
        std::system(("sox -n -r 44100 -c 1 -b 16 " + tone + " synth " + std::to_string(wanted + 20) +
                     " sine 440 vol 0.3").c_str());
        QProcess player;
        player.start("paplay", {"--device=lecture", QString::fromStdString(tone)});
        const auto stopPlayer = qScopeGuard([&] { player.kill(), player.waitForFinished(); });
        // A freshly started server delivers its first sound up to two seconds late; a desktop's
        // server has long settled when a lecture starts.
        std::this_thread::sleep_for(std::chrono::seconds(3));
        ::setenv("TEMP", folder.path().c_str(), 1);

        TimingView view;
        Prompts prompts;
        std::vector<Clock::time_point> filled;
        vorlix::QtWaveInput device;
        device.setBufferFilledHook(
            [&](const vorlix::WaveBuffer&) { filled.push_back(Clock::now()); });
        vorlix::NarrationFile narration(prompts);
        vorlix::Recorder recorder(device, narration, view, prompts);
        vorlix::LectureClock clock(view, recorder.completedBuffers());

        recorder.completedBuffers().store(-1);
        clock.start();
        const auto started = Clock::now();
        recorder.startRecording(clock.threadId());
        if (!serveUntil([&] { return recorder.completedBufferCount() >= 1; },
                        std::chrono::seconds(30))) {
            state.SkipWithError("no sound arrived");
            return;
        }
        // ffmpeg records the same microphone alongside, for the comparison.
        QProcess ffmpeg;
        ffmpeg.setStandardOutputFile(QString::fromStdString(folder.file("ffmpeg.out")));
        ffmpeg.setStandardErrorFile(QString::fromStdString(folder.file("ffmpeg.out")));
        ffmpeg.start("ffmpeg", {"-nostdin", "-loglevel", "error", "-f", "pulse", "-i", "mic", "-t",
                                QString::number(wanted - 2), "-c:a", "pcm_s16le", "-y",
                                QString::fromStdString(folder.file("ffmpeg.wav"))});
        rusage childrenFrom{};
        getrusage(RUSAGE_CHILDREN, &childrenFrom);
        const std::int64_t wideFrom = recorder.wideNarration().bytesWritten();
        const double cpuFrom = cpuSeconds();
        const auto wallFrom = Clock::now();
        serveUntil([&] { return recorder.completedBufferCount() >= buffers; },
                   std::chrono::seconds(wanted * 2 + 30));
        const double cpu = cpuSeconds() - cpuFrom;
        const double wall = seconds(Clock::now() - wallFrom);
        const double wideBytes =
            static_cast<double>(recorder.wideNarration().bytesWritten() - wideFrom);
        const bool ffmpegDone = ffmpeg.waitForFinished(30000) && ffmpeg.exitCode() == 0;
        rusage childrenTo{};
        getrusage(RUSAGE_CHILDREN, &childrenTo);
        const auto tv = [](const timeval& v) { return v.tv_sec + v.tv_usec / 1e6; };
        const double ffmpegCpu = tv(childrenTo.ru_utime) + tv(childrenTo.ru_stime) -
                                 tv(childrenFrom.ru_utime) - tv(childrenFrom.ru_stime);
        recorder.stopRecording();
        clock.stop();
        serveUntil([&] { return recorder.idle(); }, std::chrono::seconds(30));

        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(buffers),
                                                    std::min(filled.size(), view.handled.size()));
        if (n < 2) {
            state.SkipWithError("too few buffers");
            return;
        }
        double maxGap = 0;
        for (std::size_t i = 0; i < n; ++i)
            maxGap = std::max(maxGap, seconds(view.handled[i] - filled[i]));
        // Completion times against buffer numbers, fitted by least squares: a buffer completes
        // only when a backend chunk (about 50 ms) arrives, so single times are that coarse.
        std::vector<double> t(n);
        for (std::size_t i = 0; i < n; ++i) t[i] = seconds(filled[i] - filled[0]);
        const double meanI = static_cast<double>(n - 1) / 2.0;
        double meanT = 0;
        for (double v : t) meanT += v / static_cast<double>(n);
        double sxy = 0, sxx = 0;
        for (std::size_t i = 0; i < n; ++i) {
            sxy += (static_cast<double>(i) - meanI) * (t[i] - meanT);
            sxx += (static_cast<double>(i) - meanI) * (static_cast<double>(i) - meanI);
        }
        const double slope = sxy / sxx;  // wall seconds per buffer
        double jitter = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const double fitted = meanT + slope * (static_cast<double>(i) - meanI);
            jitter = std::max(jitter, std::abs(t[i] - fitted));
        }
        if (std::getenv("VORLIX_DRIFT_VERBOSE") != nullptr) {
            for (std::size_t i = 0; i < n; ++i) {
                std::fprintf(
                    stderr, "buffer %2zu filled at %8.3f s (fit %+7.2f ms), handled +%.2f ms\n",
                    i + 1, t[i], (t[i] - meanT - slope * (static_cast<double>(i) - meanI)) * 1e3,
                    seconds(view.handled[i] - filled[i]) * 1e3);
            }
        }
        state.counters["buffers"] = static_cast<double>(n);
        state.counters["wall_s_per_buffer"] = slope;
        state.counters["drift_ppm"] = (slope / 2.0 - 1.0) * 1e6;
        state.counters["drift_ms_per_min"] = (slope / 2.0 - 1.0) * 60e3;
        state.counters["jitter_ms"] = jitter * 1e3;
        state.counters["first_buffer_s"] = seconds(filled[0] - started);
        state.counters["max_gap_ms"] = maxGap * 1e3;
        state.counters["cpu_pct"] = cpu / wall * 100.0;
        state.counters["cpu_s_per_min"] = cpu / wall * 60.0;
        state.counters["wide_bytes_per_s"] = wideBytes / wall;
        if (ffmpegDone) {
            const double ffmpegPct = ffmpegCpu / static_cast<double>(wanted - 2) * 100.0;
            state.counters["ffmpeg_cpu_pct"] = ffmpegPct;
            state.counters["cpu_ratio_vs_ffmpeg"] = cpu / wall * 100.0 / ffmpegPct;
        }
        state.counters["overrun_bytes"] = static_cast<double>(device.overrunBytes());
        state.SetIterationTime(wall);
    }
}
BENCHMARK(BM_RealRecording)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // libpulse may abort in static destructors once Qt Multimedia was used.
    std::fflush(nullptr);
    ::_exit(0);
}
