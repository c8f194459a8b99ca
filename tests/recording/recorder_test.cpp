// The recorder on a scripted device: which buffers are counted, written and shown, in the
// sequences a lecture goes through, and what happens when the device or memory lets it down.
#include "recording/recorder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "recording/narration_file.h"
#include "resources/texts.h"
#include "tests/recording/recording_fakes.h"
#include "tests/recording/scripted_wave_input.h"
#include "tests/support/scratch_dir.h"

namespace vorlix::testing {
namespace {

namespace fs = std::filesystem;
using Log = std::vector<std::string>;
constexpr std::size_t kBuffer = 88200;

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// Narration files go to a folder of the test's own.
class RecorderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* old = std::getenv("TEMP");
        if (old != nullptr) oldTemp_ = old;
        setenv("TEMP", dir_.path().c_str(), 1);
    }
    void TearDown() override {
        if (oldTemp_) {
            setenv("TEMP", oldTemp_->c_str(), 1);
        } else {
            unsetenv("TEMP");
        }
    }

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
    std::size_t narrationFiles() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_.path()), {}));
    }

    ScratchDir dir_;
    std::optional<std::string> oldTemp_;
    int allocations = 0;
    bool allocationFails = false;
    ScriptedWaveInput device;
    RecordingView view;
    RecordingPrompts prompts;
    NarrationFile narration{prompts};
    Recorder recorder{device, narration, view, prompts, [this](std::size_t size) {
                          ++allocations;
                          return allocationFails ? nullptr : std::make_unique<std::uint8_t[]>(size);
                      }};
};

TEST_F(RecorderTest, FirstLectureCountsEveryBufferAndParityNamesIt) {
    EXPECT_EQ(recorder.completedBufferCount(), -1);
    ASSERT_TRUE(start());
    EXPECT_EQ(recorder.completedBufferCount(), 0);
    EXPECT_EQ(device.calls(), (Log{"open", "prepare A", "prepare B"}));
    EXPECT_EQ(device.format().samplesPerSecond, 44100u);
    EXPECT_EQ(device.format().bitsPerSample, 8);
    EXPECT_EQ(device.format().channels, 1);
    EXPECT_TRUE(narration.isOpen());
    EXPECT_EQ(device.pendingNotifications(), 1u) << "the open is handled later, not inside start";

    device.deliverAll();
    EXPECT_EQ(device.calls(),
              (Log{"open", "prepare A", "prepare B", "addBuffer A", "addBuffer B", "start"}));
    device.clearLogs();

    // Each buffer holds its own value so the file shows what went where.
    for (int i = 1; i <= 5; ++i) {
        const char name = (i % 2 == 1) ? 'A' : 'B';
        device.capture(kBuffer, static_cast<std::uint8_t>(10 * i));
        ASSERT_EQ(recorder.completedBufferCount(), i - 1) << "counted on handling, not capture";
        device.deliverAll();
        EXPECT_EQ(recorder.completedBufferCount(), i);
        EXPECT_EQ(device.calls().back(), std::string("addBuffer ") + name) << "re-queued";
        EXPECT_EQ(device.delivered().back(), std::string("data ") + name + " 88200");
        EXPECT_EQ(view.recIndicator.back(), i % 2 == 1) << "buffer " << i;
        EXPECT_EQ(narration.bytesWritten(), static_cast<std::int64_t>(kBuffer) * i);
    }
    EXPECT_EQ(view.levelTexts.size(), 5u);
    EXPECT_EQ(view.levelTexts.back(), texts::kLevelTexts.back().text) << "flat buffer is silence";
    EXPECT_TRUE(prompts.messages.empty());

    const std::string path = narration.path();
    recorder.stopRecording();
    const auto file = readBytes(path);
    ASSERT_EQ(file.size(), 44 + 5 * kBuffer);
    EXPECT_EQ(le32(file, 40), 5 * kBuffer);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(file[44 + i * kBuffer], 10 * (i + 1));
        EXPECT_EQ(file[44 + i * kBuffer + kBuffer - 1], 10 * (i + 1));
    }
}

TEST_F(RecorderTest, LevelMeterGradesEachBuffer) {
    start();
    device.deliverAll();
    std::vector<std::uint8_t> loud(kBuffer, 128), quiet(kBuffer, 128);
    loud[500] = 0;
    loud[900] = 255;
    quiet[7] = 131;
    device.capture(loud);
    device.capture(quiet);
    device.deliverAll();
    EXPECT_EQ(view.levelTexts, (Log{"音量||||||||過大", "音量|  過小"}));
}

TEST_F(RecorderTest, EndThreeSecondsInWritesOneBufferAndDropsTheHandedBackOnes) {
    start();
    device.deliverAll();
    captureBuffers(1, 60);
    device.capture(kBuffer / 2, 70);  // a second into buffer B
    const std::string path = narration.path();

    recorder.stopRecording();
    EXPECT_FALSE(recorder.recording());
    EXPECT_FALSE(recorder.idle()) << "the device has yet to hand back its buffers and close";
    EXPECT_EQ(recorder.completedBufferCount(), 1) << "stopping does not count";
    auto file = readBytes(path);
    ASSERT_EQ(file.size(), 44 + kBuffer);
    EXPECT_EQ(le32(file, 4), kBuffer + 36);
    EXPECT_EQ(le32(file, 40), kBuffer);

    device.clearLogs();
    ASSERT_TRUE(device.deliverNext());
    EXPECT_EQ(recorder.completedBufferCount(), 2);
    ASSERT_TRUE(device.deliverNext());
    EXPECT_EQ(recorder.completedBufferCount(), 3);
    device.deliverAll();
    EXPECT_EQ(device.delivered(), (Log{"data B 44100", "data A 0", "close"}));
    EXPECT_EQ(device.calls(),
              (Log{"addBuffer B refused", "addBuffer A refused", "unprepare A", "unprepare B"}));
    EXPECT_EQ(readBytes(path), file) << "handed-back buffers are not written";
    EXPECT_EQ(view.recIndicator, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(view.levelTexts.size(), 3u) << "handed-back buffers still show";
    EXPECT_TRUE(recorder.idle());
    EXPECT_FALSE(recorder.buffersAllocated());
}

TEST_F(RecorderTest, EndBeforeTheFirstBufferLeavesABareHeader) {
    start();
    device.deliverAll();
    device.capture(1000, 90);
    const std::string path = narration.path();
    recorder.stopRecording();
    device.deliverAll();
    EXPECT_EQ(recorder.completedBufferCount(), 2);
    EXPECT_EQ(device.delivered(), (Log{"open", "data A 1000", "data B 0", "close"}));
    const auto file = readBytes(path);
    ASSERT_EQ(file.size(), 44u);
    EXPECT_EQ(le32(file, 4), 36u);
    EXPECT_EQ(le32(file, 40), 0u);
    EXPECT_TRUE(recorder.idle());
}

TEST_F(RecorderTest, EndBeforeTheDeviceReportedOpening) {
    start();
    recorder.stopRecording();  // the open notification is still on its way
    device.deliverAll();
    EXPECT_EQ(device.delivered(), (Log{"open", "close"}));
    EXPECT_EQ(recorder.completedBufferCount(), 0);
    EXPECT_EQ(device.queue().queuedBuffers(), 0u) << "nothing queued on the closed device";
    EXPECT_TRUE(recorder.idle());
    EXPECT_FALSE(recorder.buffersAllocated());
}

TEST_F(RecorderTest, TwoLecturesInARowGetFreshBuffersCounterAndFile) {
    start(1);
    device.deliverAll();
    captureBuffers(3, 50);
    const std::string first = narration.path();
    recorder.stopRecording();
    device.deliverAll();
    ASSERT_TRUE(recorder.idle());
    EXPECT_EQ(allocations, 2);
    EXPECT_EQ(recorder.completedBufferCount(), 5) << "not reset by the stop";

    device.clearLogs();
    view.recIndicator.clear();
    ASSERT_TRUE(start(2));
    EXPECT_EQ(allocations, 4) << "the close freed the first lecture's buffers";
    EXPECT_EQ(recorder.completedBufferCount(), 0);
    EXPECT_NE(narration.path(), first);
    device.deliverAll();
    captureBuffers(2, 40);
    EXPECT_EQ(device.delivered(), (Log{"open", "data A 88200", "data B 88200"}));
    EXPECT_EQ(view.recIndicator, (std::vector<bool>{true, false}));
    const std::string second = narration.path();
    recorder.stopRecording();
    device.deliverAll();
    EXPECT_EQ(readBytes(first).size(), 44 + 3 * kBuffer);
    EXPECT_EQ(readBytes(second).size(), 44 + 2 * kBuffer);
    EXPECT_EQ(narrationFiles(), 2u);
}

TEST_F(RecorderTest, StartAndStopTwiceDoNothingTheSecondTime) {
    recorder.stopRecording();  // End without a lecture
    EXPECT_TRUE(device.calls().empty());
    EXPECT_EQ(narrationFiles(), 0u);

    ASSERT_TRUE(start());
    device.deliverAll();
    captureBuffers(1, 1);
    EXPECT_FALSE(recorder.startRecording(0x9c5));
    EXPECT_EQ(recorder.completedBufferCount(), 1) << "a refused start leaves the count";
    EXPECT_EQ(narrationFiles(), 1u);
    recorder.stopRecording();
    recorder.stopRecording();
    EXPECT_EQ(device.calls(), (Log{"open", "prepare A", "prepare B", "addBuffer A", "addBuffer B",
                                   "start", "addBuffer A", "reset", "close"}));
}

TEST_F(RecorderTest, NoStartUntilTheStoppedDeviceHasClosed) {
    start();
    device.deliverAll();
    recorder.stopRecording();
    EXPECT_FALSE(recorder.startRecording(7)) << "its close would free the buffers of the new start";
    EXPECT_EQ(device.pendingNotifications(), 3u);
    device.deliverNext();
    device.deliverNext();
    EXPECT_FALSE(recorder.idle());
    device.deliverNext();
    EXPECT_TRUE(recorder.idle());
    EXPECT_TRUE(start(7));
}

TEST_F(RecorderTest, NoDeviceIsReportedAndTheLectureGoesOn) {
    device.openResult = WaveResult::NoDevice;
    ASSERT_TRUE(start());
    EXPECT_EQ(prompts.messages, (Log{std::string(texts::kDeviceNotOpened)}));
    EXPECT_EQ(recorder.completedBufferCount(), 0) << "the clock runs up to its cap";
    EXPECT_TRUE(recorder.recording());
    EXPECT_EQ(device.pendingNotifications(), 0u);
    const std::string path = narration.path();
    recorder.stopRecording();
    EXPECT_TRUE(recorder.idle()) << "no notification to wait for";
    EXPECT_EQ(device.calls(), (Log{"open refused"}));
    EXPECT_EQ(readBytes(path).size(), 44u);
    EXPECT_TRUE(recorder.buffersAllocated()) << "kept for the next lecture";

    device.openResult = WaveResult::Ok;
    ASSERT_TRUE(start());
    EXPECT_EQ(allocations, 2) << "reused";
    device.deliverAll();
    captureBuffers(1, 3);
    EXPECT_EQ(recorder.completedBufferCount(), 1);
    EXPECT_EQ(prompts.messages.size(), 1u);
}

TEST_F(RecorderTest, BuffersThatCannotBeAllocatedAreReportedWithoutOpeningTheDevice) {
    allocationFails = true;
    ASSERT_TRUE(start());
    EXPECT_EQ(prompts.messages, (Log{std::string(texts::kBuffersNotAllocated)}));
    EXPECT_TRUE(device.calls().empty());
    EXPECT_EQ(recorder.completedBufferCount(), 0);
    const std::string path = narration.path();
    recorder.stopRecording();
    EXPECT_TRUE(recorder.idle());
    EXPECT_EQ(readBytes(path).size(), 44u);

    allocationFails = false;
    ASSERT_TRUE(start());
    device.deliverAll();
    captureBuffers(2, 3);
    EXPECT_EQ(recorder.completedBufferCount(), 2);
    EXPECT_EQ(narration.bytesWritten(), static_cast<std::int64_t>(2 * kBuffer));
}

TEST_F(RecorderTest, DeviceLostMidLectureIsReportedOnceAndTidiedUpAtEnd) {
    start();
    device.deliverAll();
    captureBuffers(1, 5);
    device.capture(1000, 6);
    device.failDevice();
    device.deliverAll();
    EXPECT_EQ(prompts.messages, (Log{std::string(texts::kDeviceLost)}));
    EXPECT_EQ(device.capture(kBuffer, 7), kBuffer) << "a dead device captures nothing";
    device.deliverAll();
    EXPECT_EQ(recorder.completedBufferCount(), 1) << "the clock holds";
    EXPECT_TRUE(recorder.recording()) << "the lecture goes on";

    const std::string path = narration.path();
    recorder.stopRecording();
    device.deliverAll();
    EXPECT_EQ(device.delivered().back(), "close");
    EXPECT_EQ(recorder.completedBufferCount(), 3);
    EXPECT_TRUE(recorder.idle());
    EXPECT_EQ(readBytes(path).size(), 44 + kBuffer);
    EXPECT_EQ(prompts.messages.size(), 1u);
}

TEST_F(RecorderTest, MessageBoxThatServesNotificationsFindsEverythingInPlace) {
    // The narration file cannot be created; its message box runs the event loop, which hands
    // the open notification to the recorder before start returns.
    setenv("TEMP", (dir_.path() / "missing").c_str(), 1);
    prompts.whileShown = [this] { device.deliverAll(); };
    ASSERT_TRUE(start());
    EXPECT_EQ(prompts.messages, (Log{std::string(texts::kNarrationNotCreated)}));
    EXPECT_EQ(device.calls(),
              (Log{"open", "prepare A", "prepare B", "addBuffer A", "addBuffer B", "start"}));
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
