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

constexpr std::size_t kBuffer = 88200;

class RecorderTest : public ::testing::Test {
  protected:
    bool start(std::uint32_t clockId = 0x9c4) {  // as the Start sequence does it
        recorder.completedBuffers().store(-1);
        return recorder.startRecording(clockId);
    }
    void captureBuffers(int n, std::uint8_t value) {  // n whole buffers arrive and are handled
        for (int i = 0; i < n; ++i) device.capture(kBuffer, value), device.deliverAll();
    }
    Bytes stop() {  // the narration file as it is once the stop has returned
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

// End seven seconds in, after the open only, or before it: each buffer is counted when handled (not
// when filled), written and shown in turn; the sound of the partly filled one is written at the
// stop (the last words); those handed back after the stop are counted but not written again; the
// device closes.
TEST_F(RecorderTest, EndWritesTheCompletedBuffersAndTheLastWords) {
    const std::tuple<int, std::size_t, bool, Log, std::int32_t> cases[] = {
        // whole buffers, bytes more, open handled before End, handed back, count
        {3, kBuffer / 2, true, {"data B 44100", "data A 0", "close"}, 5},
        {0, 1000, true, {"data A 1000", "data B 0", "close"}, 2},
        {0, 0, false, {"open", "close"}, 0},
    };
    for (const auto& [buffers, more, opened, handedBack, finalCount] : cases) {
        view.recIndicator.clear(), view.levelTexts.clear();
        ASSERT_TRUE(start());
        EXPECT_EQ(device.pending(), 1u) << "the open is handled later, not inside start";
        if (opened) device.deliverAll();
        std::vector<bool> blinks;
        for (int i = 1; i <= buffers; ++i) {  // buffer i holds 10 i; the first a loud peak
            Bytes sound(kBuffer, static_cast<std::uint8_t>(10 * i));
            sound[500] = i == 1 ? 255 : sound[500];
            device.capture(sound);
            EXPECT_EQ(count(), i - 1);
            device.deliverAll();
            blinks.push_back(i % 2);
        }
        EXPECT_EQ(view.recIndicator, blinks);
        const Log shown = {"音量||||||||過大", "音量.  無音", "音量.  無音"};
        EXPECT_EQ(view.levelTexts, (buffers ? shown : Log{}));
        device.capture(more, 70);
        const std::string path = narration.path();
        const Bytes file = stop();
        EXPECT_FALSE(recorder.idle()) << "the device has yet to hand back and close";
        EXPECT_EQ(count(), buffers) << "stopping does not count";
        ASSERT_EQ(file.size(), 44 + buffers * kBuffer + more);
        for (int i = 0; i < buffers; ++i) EXPECT_EQ(file[44 + (i + 1) * kBuffer - 1], 10 * (i + 1));
        if (more) { EXPECT_EQ(file.back(), 70); }
        device.delivered.clear();
        device.deliverAll();
        EXPECT_EQ(device.delivered, handedBack);
        EXPECT_EQ(count(), finalCount);
        EXPECT_EQ(readBytes(path), file) << "handed-back buffers are not written";
        EXPECT_TRUE(recorder.idle());
        EXPECT_FALSE(recorder.buffersAllocated());
        EXPECT_FALSE(device.queue().isOpen());
    }
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
        EXPECT_EQ(stop().size(), 44 + kBuffer + 1000) << "what came before the loss is kept";
        device.deliverAll();
        EXPECT_EQ(count(), 3);
        EXPECT_TRUE(recorder.idle());
        EXPECT_EQ(prompts.log.size(), 2u);
    }
}

}  // namespace
}  // namespace vorlix::testing
