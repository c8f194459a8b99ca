// The recorder on a scripted device: which buffers are counted, written and shown, in the
// sequences a lecture goes through, and what happens when the device or memory lets it down.
#include "recording/recorder.h"

#include <gtest/gtest.h>

#include "recording/narration_file.h"
#include "resources/texts.h"
#include "tests/support/files.h"
#include "tests/support/scripted_device.h"

namespace vorlix::testing {
namespace {

namespace fs = std::filesystem;
using Blinks = std::vector<bool>;
constexpr std::size_t kBuffer = 88200;

class RecorderTest : public ::testing::Test {
  protected:
    bool start(std::uint32_t clockId = 0x9c4) {  // as the Start sequence does it
        recorder.completedBuffers().store(-1);
        return recorder.startRecording(clockId);
    }
    // n whole buffers of the value arrive and are handled.
    void captureBuffers(int n, std::uint8_t value) {
        for (int i = 0; i < n; ++i) {
            device.capture(kBuffer, value);
            device.deliverAll();
        }
    }
    // Stops; the narration file as it is once the stop has returned.
    Bytes stop() {
        const std::string path = narration.path();
        recorder.stopRecording();
        return readBytes(path);
    }
    std::int32_t count() const { return recorder.completedBufferCount(); }

    ScratchDir dir_;
    TempFolder temp_{dir_.path()};
    int allocations = 0;
    bool allocationFails = false;
    ScriptedDevice device;
    FakeView view;
    FakePrompts prompts;
    NarrationFile narration{prompts};
    Recorder recorder{device, narration, view, prompts, [this](std::size_t size) {
                          ++allocations;
                          return allocationFails ? nullptr : std::make_unique<std::uint8_t[]>(size);
                      }};
};

TEST_F(RecorderTest, EveryBufferIsCountedWrittenAndShownInTurn) {
    ASSERT_TRUE(start());
    EXPECT_EQ(count(), 0);
    const WaveFormat& f = device.format();
    EXPECT_EQ(std::tuple(f.samplesPerSecond, f.bitsPerSample, f.channels), std::tuple(44100u, 8, 1));
    EXPECT_EQ(device.pending(), 1u) << "the open is handled later, not inside start";
    device.deliverAll();
    // Each buffer holds its own value; the first two carry a loud and a quiet peak.
    for (int i = 1; i <= 5; ++i) {
        Bytes sound(kBuffer, static_cast<std::uint8_t>(10 * i));
        if (i == 1) sound[500] = 255;
        if (i == 2) sound[7] = 23;
        device.capture(sound);
        ASSERT_EQ(count(), i - 1) << "counted on handling, not capture";
        device.deliverAll();
        EXPECT_EQ(count(), i);
    }
    EXPECT_EQ(view.recIndicator, (Blinks{true, false, true, false, true}));
    const std::string silence(texts::kLevelTexts.back().text);
    EXPECT_EQ(view.levelTexts, (Log{"音量||||||||過大", "音量|  過小", silence, silence, silence}));
    const Bytes file = stop();
    ASSERT_EQ(file.size(), 44 + 5 * kBuffer);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(file[44 + i * kBuffer + 1], 10 * (i + 1));
        EXPECT_EQ(file[44 + i * kBuffer + kBuffer - 1], 10 * (i + 1));
    }
    EXPECT_TRUE(prompts.log.empty());
}

// End three seconds in, after the open only, or before it: what reached the file stays, the
// buffers handed back after the stop are counted but not written, and the device closes.
TEST_F(RecorderTest, EndWritesOnlyTheCompletedBuffers) {
    struct Case {
        int buffers;        // whole buffers before End
        std::size_t more;   // bytes into the next one
        bool opened;        // the open notification was handled before End
        Log delivered;
        std::int32_t count;
    } cases[] = {
        {1, kBuffer / 2, true, {"data B 44100", "data A 0", "close"}, 3},
        {0, 1000, true, {"data A 1000", "data B 0", "close"}, 2},
        {0, 0, false, {"open", "close"}, 0},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(recorder.idle());
        ASSERT_TRUE(start());
        if (c.opened) device.deliverAll();
        captureBuffers(c.buffers, 60);
        device.capture(c.more, 70);
        const std::string path = narration.path();
        const Bytes file = stop();
        EXPECT_FALSE(recorder.idle()) << "the device has yet to hand back and close";
        EXPECT_EQ(count(), c.buffers) << "stopping does not count";
        ASSERT_EQ(file.size(), 44 + c.buffers * kBuffer);
        EXPECT_EQ(le32(file, 4), c.buffers * kBuffer + 36);
        device.delivered.clear();
        device.deliverAll();
        EXPECT_EQ(device.delivered, c.delivered);
        EXPECT_EQ(count(), c.count);
        EXPECT_EQ(readBytes(path), file) << "handed-back buffers are not written";
        EXPECT_TRUE(recorder.idle());
        EXPECT_FALSE(recorder.buffersAllocated());
        EXPECT_FALSE(device.queue().isOpen());
    }
}

// A second Start or End does nothing; the next lecture waits for the device to close, then gets
// fresh buffers, counter and file.
TEST_F(RecorderTest, StartAndStopTwiceThenASecondLecture) {
    recorder.stopRecording();  // End without a lecture
    EXPECT_TRUE(fs::is_empty(dir_.path()));
    ASSERT_TRUE(start(1));
    device.deliverAll();
    captureBuffers(3, 50);
    EXPECT_FALSE(recorder.startRecording(0x9c5));
    EXPECT_EQ(count(), 3) << "a refused start leaves the count";
    const std::string first = narration.path();
    recorder.stopRecording();
    recorder.stopRecording();
    EXPECT_FALSE(recorder.startRecording(7)) << "its close would free the new start's buffers";
    EXPECT_EQ(device.pending(), 3u);
    device.deliverNext();
    device.deliverNext();
    EXPECT_FALSE(recorder.idle());
    device.deliverNext();
    EXPECT_TRUE(recorder.idle());
    EXPECT_EQ(count(), 5) << "not reset by the stop";

    view.recIndicator.clear();
    ASSERT_TRUE(start(2));
    EXPECT_EQ(allocations, 4) << "the close freed the first lecture's buffers";
    EXPECT_EQ(count(), 0);
    device.deliverAll();
    captureBuffers(2, 40);
    EXPECT_EQ(view.recIndicator, (Blinks{true, false}));
    EXPECT_NE(narration.path(), first);
    EXPECT_EQ(stop().size(), 44 + 2 * kBuffer);
    EXPECT_EQ(readBytes(first).size(), 44 + 3 * kBuffer);
}

// Without a device or buffer memory the user is told and the lecture goes on; the next one
// records once the fault is gone. A device lost mid-lecture is told once.
TEST_F(RecorderTest, DeviceAndMemoryFaultsAreToldAndTheLectureGoesOn) {
    for (const bool noDevice : {true, false}) {
        allocations = 0;
        prompts.log.clear();
        device.openResult = noDevice ? WaveResult::NoDevice : WaveResult::Ok;
        allocationFails = !noDevice;
        ASSERT_TRUE(start());
        EXPECT_EQ(prompts.log, Log{std::string(noDevice ? texts::kDeviceNotOpened
                                                        : texts::kBuffersNotAllocated)});
        EXPECT_TRUE(recorder.recording());
        EXPECT_EQ(device.pending(), 0u);
        EXPECT_EQ(stop().size(), 44u);
        EXPECT_TRUE(recorder.idle()) << "no notification to wait for";

        device.openResult = WaveResult::Ok;
        allocationFails = false;
        ASSERT_TRUE(start());
        EXPECT_EQ(allocations, noDevice ? 2 : 4) << "kept when only the device was missing";
        device.deliverAll();
        captureBuffers(1, 3);
        device.capture(1000, 6);
        device.failDevice();
        device.deliverAll();
        EXPECT_EQ(prompts.log.back(), texts::kDeviceLost);
        EXPECT_EQ(count(), 1) << "the clock holds";
        EXPECT_EQ(stop().size(), 44 + kBuffer);
        device.deliverAll();
        EXPECT_EQ(count(), 3);
        EXPECT_TRUE(recorder.idle());
        EXPECT_EQ(prompts.log.size(), 2u);
    }
}

TEST_F(RecorderTest, MessageBoxThatServesNotificationsFindsEverythingInPlace) {
    // The narration file cannot be created; its message box runs the event loop, which hands
    // the open notification to the recorder before start returns.
    TempFolder missing(dir_.path() / "missing");
    prompts.whileShown = [this] { device.deliverAll(); };
    ASSERT_TRUE(start());
    EXPECT_EQ(prompts.log, Log{std::string(texts::kNarrationNotCreated)});
    prompts.whileShown = nullptr;
    captureBuffers(2, 9);
    EXPECT_EQ(count(), 2) << "counting and showing go on without a file";
    EXPECT_EQ(view.recIndicator.size(), 2u);
}

TEST_F(RecorderTest, RecorderLeavingMidLectureClosesTheDevice) {
    ScriptedDevice other;
    {
        Recorder leaving(other, narration, view, prompts);
        leaving.startRecording(1);
        other.deliverAll();
        other.capture(500, 1);
    }
    EXPECT_FALSE(other.queue().isOpen());
    EXPECT_EQ(other.queue().queuedBuffers(), 0u) << "no buffer of the gone recorder stays queued";
}

}  // namespace
}  // namespace vorlix::testing
