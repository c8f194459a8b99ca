// The recorder on a scripted device: which buffers are counted, written and shown, in the
// sequences a lecture goes through, and what happens when the device or memory lets it down.
#include "recording/recorder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "recording/narration_file.h"
#include "resources/texts.h"
#include "tests/recording/scripted_wave_input.h"
#include "tests/support/lecture_fakes.h"
#include "tests/support/scratch_dir.h"

namespace vorlix::testing {
namespace {

namespace fs = std::filesystem;
using Log = std::vector<std::string>;
using Blinks = std::vector<bool>;
constexpr std::size_t kBuffer = 88200;
const Log kStarted = {"open", "prepare A", "prepare B", "addBuffer A", "addBuffer B", "start"};

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// Narration files go to a folder of the test's own.
class RecorderTest : public ::testing::Test {
  protected:
    // What the Start sequence does around the recorder.
    bool start(std::uint32_t clockId = 0x9c4) {
        recorder.completedBuffers().store(-1);
        return recorder.startRecording(clockId);
    }
    // Capture n whole buffers of the given sample value and handle what the device posts.
    void captureBuffers(int n, std::uint8_t value) {
        for (int i = 0; i < n; ++i) {
            device.capture(kBuffer, value);
            device.deliverAll();
        }
    }
    // Stops and returns the narration file as it is once the stop has returned.
    std::vector<std::uint8_t> stop() {
        const std::string path = narration.path();
        recorder.stopRecording();
        return readBytes(path);
    }
    std::size_t narrationFiles() const {  // the 8-bit ones; each has its 16-bit one beside it
        return static_cast<std::size_t>(std::count_if(
            fs::directory_iterator(dir_.path()), {},
            [](const fs::directory_entry& e) { return !e.path().string().ends_with(".s16.wav"); }));
    }

    ScratchDir dir_;
    TempFolder temp_{dir_.path()};
    int allocations = 0;
    bool allocationFails = false;
    ScriptedWaveInput device;
    FakeView view;
    FakePrompts prompts;
    NarrationFile narration{prompts};
    Recorder recorder{device, narration, view, prompts, [this](std::size_t size) {
                          ++allocations;
                          return allocationFails ? nullptr : std::make_unique<std::uint8_t[]>(size);
                      }};
};

TEST_F(RecorderTest, FirstLectureCountsEveryBufferAndParityNamesIt) {
    ASSERT_TRUE(start());
    EXPECT_EQ(recorder.completedBufferCount(), 0);
    const WaveFormat& f = device.format();
    EXPECT_EQ(std::tuple(f.samplesPerSecond, f.bitsPerSample, f.channels),
              std::tuple(44100u, 16, 1));
    EXPECT_EQ(device.pendingNotifications(), 1u) << "the open is handled later, not inside start";
    device.deliverAll();
    EXPECT_EQ(device.calls(), kStarted);
    device.clearLogs();

    // Each buffer holds its own value so the file shows what went where; the first two carry a
    // loud and a quiet peak for the level meter.
    for (int i = 1; i <= 5; ++i) {
        std::vector<std::uint8_t> sound(kBuffer, static_cast<std::uint8_t>(10 * i));
        if (i == 1) sound[500] = 255;
        if (i == 2) sound[7] = 23;
        device.capture(sound);
        ASSERT_EQ(recorder.completedBufferCount(), i - 1) << "counted on handling, not capture";
        device.deliverAll();
        EXPECT_EQ(recorder.completedBufferCount(), i);
    }
    EXPECT_EQ(device.calls(), (Log{"addBuffer A", "addBuffer B", "addBuffer A", "addBuffer B",
                                   "addBuffer A"}));  // each re-queued as it comes back
    EXPECT_EQ(device.delivered(), (Log{"data A 88200", "data B 88200", "data A 88200",
                                       "data B 88200", "data A 88200"}));
    EXPECT_EQ(view.recIndicator, (Blinks{true, false, true, false, true}));
    const std::string silence(texts::kLevelTexts.back().text);
    EXPECT_EQ(view.levelTexts, (Log{"音量||||||||過大", "音量|  過小", silence, silence, silence}));
    EXPECT_TRUE(prompts.messages.empty());

    const auto file = stop();
    ASSERT_EQ(file.size(), 44 + 5 * kBuffer);
    EXPECT_EQ(le32(file, 40), 5 * kBuffer);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(file[44 + i * kBuffer], 10 * (i + 1));
        EXPECT_EQ(file[44 + i * kBuffer + kBuffer - 1], 10 * (i + 1));
    }
}

TEST_F(RecorderTest, EndThreeSecondsInWritesABufferAndAHalfAndNoMore) {
    start();
    device.deliverAll();
    captureBuffers(1, 60);
    device.capture(kBuffer / 2, 70);  // a second into buffer B
    const std::string path = narration.path();
    const auto file = stop();
    EXPECT_FALSE(recorder.idle()) << "the device has yet to hand back its buffers and close";
    EXPECT_EQ(recorder.completedBufferCount(), 1) << "stopping does not count";
    ASSERT_EQ(file.size(), 44 + kBuffer + kBuffer / 2) << "the last words are kept";
    EXPECT_EQ(le32(file, 4), kBuffer + kBuffer / 2 + 36);

    device.clearLogs();
    ASSERT_TRUE(device.deliverNext());
    EXPECT_EQ(recorder.completedBufferCount(), 2);
    device.deliverAll();
    EXPECT_EQ(recorder.completedBufferCount(), 3);
    EXPECT_EQ(device.delivered(), (Log{"data B 44100", "data A 0", "close"}));
    EXPECT_EQ(device.calls(),
              (Log{"addBuffer B refused", "addBuffer A refused", "unprepare A", "unprepare B"}));
    EXPECT_EQ(readBytes(path), file) << "handed-back buffers are not written";
    EXPECT_EQ(view.recIndicator, (Blinks{true, false, true}));
    EXPECT_EQ(view.levelTexts.size(), 3u) << "handed-back buffers still show";
    EXPECT_TRUE(recorder.idle());
    EXPECT_FALSE(recorder.buffersAllocated());
}

TEST_F(RecorderTest, EndBeforeTheFirstBufferLeavesABareHeader) {
    struct Case {
        bool opened;  // the device's open notification was handled before End
        std::size_t captured;
        Log delivered;
        std::int32_t count;
    } cases[] = {
        {true, 1000, {"open", "data A 1000", "data B 0", "close"}, 2},  // the 1000 are kept
        {false, 0, {"open", "close"}, 0},
    };
    for (const auto& c : cases) {
        device.clearLogs();
        ASSERT_TRUE(start());
        if (c.opened) device.deliverAll();
        device.capture(c.captured, 90);
        const auto file = stop();
        device.deliverAll();
        EXPECT_EQ(device.delivered(), c.delivered);
        EXPECT_EQ(recorder.completedBufferCount(), c.count);
        EXPECT_EQ(device.queue().queuedBuffers(), 0u) << "nothing left on the closed device";
        ASSERT_EQ(file.size(), 44u + c.captured);
        EXPECT_EQ(le32(file, 4), 36u + c.captured);
        EXPECT_EQ(le32(file, 40), c.captured);
        EXPECT_TRUE(recorder.idle());
        EXPECT_FALSE(recorder.buffersAllocated());
    }
}

// A second Start or End does nothing; the next lecture waits for the device to close, then
// gets fresh buffers, counter and file.
TEST_F(RecorderTest, StartAndStopTwiceThenASecondLecture) {
    recorder.stopRecording();  // End without a lecture
    EXPECT_TRUE(device.calls().empty());
    EXPECT_EQ(narrationFiles(), 0u);

    ASSERT_TRUE(start(1));
    device.deliverAll();
    captureBuffers(3, 50);
    EXPECT_FALSE(recorder.startRecording(0x9c5));
    EXPECT_EQ(recorder.completedBufferCount(), 3) << "a refused start leaves the count";
    EXPECT_EQ(narrationFiles(), 1u);
    const std::string first = narration.path();
    recorder.stopRecording();
    recorder.stopRecording();
    Log calls = kStarted;
    calls.insert(calls.end(), {"addBuffer A", "addBuffer B", "addBuffer A", "reset", "close"});
    EXPECT_EQ(device.calls(), calls);

    // Until the stopped device has closed: its close would free the buffers of a new start.
    EXPECT_FALSE(recorder.startRecording(7));
    EXPECT_EQ(device.pendingNotifications(), 3u);
    device.deliverNext();
    device.deliverNext();
    EXPECT_FALSE(recorder.idle());
    device.deliverNext();
    EXPECT_TRUE(recorder.idle());
    EXPECT_EQ(recorder.completedBufferCount(), 5) << "not reset by the stop";

    device.clearLogs();
    view.recIndicator.clear();
    ASSERT_TRUE(start(2));
    EXPECT_EQ(allocations, 4) << "the close freed the first lecture's buffers";
    EXPECT_EQ(recorder.completedBufferCount(), 0);
    device.deliverAll();
    captureBuffers(2, 40);
    EXPECT_EQ(device.delivered(), (Log{"open", "data A 88200", "data B 88200"}));
    EXPECT_EQ(view.recIndicator, (Blinks{true, false}));
    EXPECT_NE(narration.path(), first);
    EXPECT_EQ(stop().size(), 44 + 2 * kBuffer);
    EXPECT_EQ(readBytes(first).size(), 44 + 3 * kBuffer);
    EXPECT_EQ(narrationFiles(), 2u);
}

// Without a device or buffer memory the user is told, the clock runs up to its cap, and the
// next lecture records once the fault is gone.
TEST_F(RecorderTest, NoDeviceOrNoBufferMemoryIsReportedAndTheLectureGoesOn) {
    struct Case {
        bool noDevice;  // else no buffer memory
        std::string_view message;
        Log calls;
        bool buffersReused;
    } cases[] = {
        {true, texts::kDeviceNotOpened, {"open refused"}, true},  // the buffers are kept and reused
        {false, texts::kBuffersNotAllocated, {}, false},
    };
    for (const auto& c : cases) {
        auto fault = [&](bool on) {
            if (c.noDevice) device.openResult = on ? WaveResult::NoDevice : WaveResult::Ok;
            if (!c.noDevice) allocationFails = on;
        };
        allocations = 0;
        device.clearLogs();
        prompts.messages.clear();
        fault(true);
        ASSERT_TRUE(start());
        EXPECT_EQ(prompts.messages, (Log{std::string(c.message)}));
        EXPECT_EQ(recorder.completedBufferCount(), 0);
        EXPECT_TRUE(recorder.recording());
        EXPECT_EQ(device.pendingNotifications(), 0u);
        EXPECT_EQ(stop().size(), 44u);
        EXPECT_TRUE(recorder.idle()) << "no notification to wait for";
        EXPECT_EQ(device.calls(), c.calls);

        fault(false);
        ASSERT_TRUE(start());
        EXPECT_TRUE(recorder.buffersAllocated());
        if (c.buffersReused) {
            EXPECT_EQ(allocations, 2);
        }
        device.deliverAll();
        captureBuffers(2, 3);
        EXPECT_EQ(recorder.completedBufferCount(), 2);
        EXPECT_EQ(narration.bytesWritten(), static_cast<std::int64_t>(2 * kBuffer));
        EXPECT_EQ(prompts.messages.size(), 1u);
        stop();
        device.deliverAll();
    }
}

TEST_F(RecorderTest, DeviceLostMidLectureIsReportedOnceAndTidiedUpAtEnd) {
    start();
    device.deliverAll();
    captureBuffers(1, 5);
    device.capture(1000, 6);
    device.failDevice();
    device.deliverAll();
    EXPECT_EQ(prompts.messages, (Log{std::string(texts::kDeviceLost)}));
    EXPECT_EQ(recorder.completedBufferCount(), 1) << "the clock holds";
    EXPECT_TRUE(recorder.recording()) << "the lecture goes on";

    EXPECT_EQ(stop().size(), 44 + kBuffer + 1000);
    device.deliverAll();
    EXPECT_EQ(device.delivered().back(), "close");
    EXPECT_EQ(recorder.completedBufferCount(), 3);
    EXPECT_TRUE(recorder.idle());
    EXPECT_EQ(prompts.messages.size(), 1u);
}

TEST_F(RecorderTest, MessageBoxThatServesNotificationsFindsEverythingInPlace) {
    // The narration file cannot be created; its message box runs the event loop, which hands
    // the open notification to the recorder before start returns.
    writeText(dir_.file("plain"), "a file where the folder would be");
    TempFolder missing(dir_.path() / "plain" / "missing");
    prompts.whileShown = [this] { device.deliverAll(); };
    ASSERT_TRUE(start());
    EXPECT_EQ(prompts.messages, (Log{std::string(texts::kNarrationNotCreated)}));
    EXPECT_EQ(device.calls(), kStarted);
    prompts.whileShown = nullptr;
    captureBuffers(2, 9);
    EXPECT_EQ(recorder.completedBufferCount(), 2) << "counting and showing go on without a file";
    EXPECT_EQ(view.recIndicator.size(), 2u);
    EXPECT_EQ(narration.bytesWritten(), 0);
    recorder.stopRecording();
    device.deliverAll();
    EXPECT_TRUE(recorder.idle());
}

TEST_F(RecorderTest, RecorderLeavingMidLectureClosesTheDevice) {
    ScriptedWaveInput other;
    {
        Recorder leaving(other, narration, view, prompts);
        leaving.startRecording(1);
        other.deliverAll();
        other.capture(500, 1);
    }
    EXPECT_FALSE(other.queue().isOpen());
    EXPECT_EQ(other.queue().queuedBuffers(), 0u) << "no buffer of the gone recorder stays queued";
    EXPECT_EQ(other.calls().back(), "close");
}

}  // namespace
}  // namespace vorlix::testing
