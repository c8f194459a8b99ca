// The device contract every wave input keeps, checked through the scripted device (which
// shares its queue with the real one).
#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "tests/recording/scripted_wave_input.h"

namespace vorlix::testing {
namespace {

using Log = std::vector<std::string>;

class Owner final : public WaveInputEvents {
    void onWaveOpen() override {}
    void onWaveData(WaveBuffer&) override {}
    void onWaveClose() override {}
    void onWaveFailed() override {}
};

struct Buffer {
    explicit Buffer(int length) : bytes(static_cast<std::size_t>(length), 0xEE) {
        header.data = bytes.data();
        header.bufferLength = length;
    }
    std::vector<std::uint8_t> bytes;
    WaveBuffer header;
};

// An open, capturing device with buffers of the given lengths queued in order.
struct Rig {
    explicit Rig(std::vector<int> lengths) {
        for (int n : lengths) buffers.emplace_back(n);
        EXPECT_EQ(device.open(WaveFormat{}, owner), WaveResult::Ok);
        for (auto& b : buffers) EXPECT_EQ(device.prepare(b.header), WaveResult::Ok);
        for (auto& b : buffers) EXPECT_EQ(device.addBuffer(b.header), WaveResult::Ok);
        EXPECT_EQ(device.start(), WaveResult::Ok);
        device.deliverAll();
        device.clearLogs();
    }
    ScriptedWaveInput device;
    Owner owner;
    std::vector<Buffer> buffers;
};

std::vector<std::uint8_t> ramp(int from, int count) {
    std::vector<std::uint8_t> v(static_cast<std::size_t>(count));
    std::iota(v.begin(), v.end(), static_cast<std::uint8_t>(from));
    return v;
}

TEST(CaptureQueue, FillsBuffersStrictlyInQueueOrderAcrossChunks) {
    Rig rig({10, 10});
    std::size_t dropped = 0;
    // 25 bytes in chunks of 3 that straddle the buffer boundary.
    for (int at = 0; at < 25; at += 3)
        dropped += rig.device.capture(ramp(at, std::min(3, 25 - at)));
    EXPECT_EQ(dropped, 5u);
    EXPECT_EQ(rig.device.queue().overrunBytes(), 5u);
    EXPECT_EQ(rig.buffers[0].bytes, ramp(0, 10));
    EXPECT_EQ(rig.buffers[1].bytes, ramp(10, 10));
    EXPECT_EQ(rig.device.pendingNotifications(), 2u) << "posted, not delivered, until pumped";
    rig.device.deliverAll();
    for (auto& b : rig.buffers) {
        EXPECT_EQ(b.header.flags & (kWaveBufferDone | kWaveBufferInQueue), kWaveBufferDone);
    }
    rig.device.close();
    ASSERT_EQ(rig.device.open(WaveFormat{}, rig.owner), WaveResult::Ok);
    EXPECT_EQ(rig.device.queue().overrunBytes(), 0u) << "counted afresh after a reopen";
    // A re-queued buffer is filled after the one ahead of it.
    Rig two({4, 4});
    two.device.capture(ramp(0, 4));
    ASSERT_EQ(two.device.addBuffer(two.buffers[0].header), WaveResult::Ok);
    two.device.capture(ramp(4, 8));
    two.device.deliverAll();
    EXPECT_EQ(two.device.delivered(), (Log{"data A 4", "data B 4", "data A 4"}));
    EXPECT_EQ(two.buffers[1].bytes, ramp(4, 4));
    EXPECT_EQ(two.buffers[0].bytes, ramp(8, 4));
}

TEST(CaptureQueue, HandBackHookSeesEachBufferAsItFillsNotWhenHandled) {
    Buffer a(4);
    std::vector<int> seen;
    CaptureQueue queue([](std::function<void()>) {});
    queue.setHandBackHook([&](const WaveBuffer& b) { seen.push_back(b.bytesRecorded); });
    Owner owner;
    queue.open(owner);
    queue.prepare(a.header);
    queue.addBuffer(a.header);
    queue.start();
    queue.deliver(ramp(0, 6));
    EXPECT_EQ(seen, (std::vector<int>{4}));
    queue.addBuffer(a.header);
    queue.deliver(ramp(0, 1));
    queue.reset();
    EXPECT_EQ(seen, (std::vector<int>{4, 1}));
}

TEST(CaptureQueue, ResetHandsBackPartlyFilledFirstThenQueuedThenCloseFollows) {
    Rig rig({10, 10, 10});
    rig.device.capture(ramp(0, 14));  // A full, B holds 4
    ASSERT_EQ(rig.device.reset(), WaveResult::Ok);
    EXPECT_EQ(rig.device.capture(3, 3), 3u) << "nothing kept after reset";
    ASSERT_EQ(rig.device.close(), WaveResult::Ok);
    rig.device.deliverAll();
    EXPECT_EQ(rig.device.delivered(), (Log{"data A 10", "data B 4", "data C 0", "close"}));
    EXPECT_EQ(rig.device.queue().queuedBuffers(), 0u);
    EXPECT_EQ(rig.device.queue().overrunBytes(), 0u) << "not capturing is no overrun";
}

TEST(CaptureQueue, RefusesWhatTheDeviceCannotDo) {
    ScriptedWaveInput device;
    Owner owner;
    Buffer a(4), b(4);
    WaveBuffer empty;
    EXPECT_EQ(device.prepare(a.header), WaveResult::NotOpen);
    EXPECT_EQ(device.start(), WaveResult::NotOpen);
    EXPECT_EQ(device.reset(), WaveResult::NotOpen);
    EXPECT_EQ(device.close(), WaveResult::NotOpen);
    ASSERT_EQ(device.open(WaveFormat{}, owner), WaveResult::Ok);
    EXPECT_EQ(device.open(WaveFormat{}, owner), WaveResult::AlreadyOpen);
    EXPECT_EQ(device.prepare(empty), WaveResult::BadBuffer);
    EXPECT_EQ(device.addBuffer(a.header), WaveResult::NotPrepared);
    device.prepare(a.header);
    device.prepare(b.header);
    EXPECT_EQ(device.addBuffer(a.header), WaveResult::Ok);
    EXPECT_EQ(device.capture(3, 1), 3u) << "nothing kept before start";
    EXPECT_EQ(device.addBuffer(a.header), WaveResult::InQueue);
    EXPECT_EQ(device.unprepare(a.header), WaveResult::InQueue);
    EXPECT_EQ(device.close(), WaveResult::InQueue) << "buffers still queued";
    device.reset();
    EXPECT_EQ(device.close(), WaveResult::Ok);
    EXPECT_EQ(device.addBuffer(b.header), WaveResult::NotOpen) << "re-queue after close";
    EXPECT_EQ(device.start(), WaveResult::NotOpen);
    EXPECT_EQ(device.unprepare(a.header), WaveResult::Ok) << "allowed once closed";
    EXPECT_EQ(a.header.flags & kWaveBufferPrepared, 0u);
    EXPECT_EQ(a.bytes, (std::vector<std::uint8_t>(4, 0xEE)));
    device.deliverAll();
    EXPECT_EQ(device.delivered(), (Log{"open", "data A 0", "close"}));
}

TEST(CaptureQueue, FailedDeviceReportsOnceHandsBackItsBuffersAndReopensAfresh) {
    Rig rig({10, 10});
    rig.device.capture(ramp(0, 3));
    rig.device.failDevice();
    rig.device.failDevice();
    EXPECT_EQ(rig.device.capture(5, 9), 5u) << "nothing captured after the failure";
    EXPECT_EQ(rig.device.start(), WaveResult::NoDevice);
    EXPECT_EQ(rig.device.reset(), WaveResult::Ok);
    EXPECT_EQ(rig.device.close(), WaveResult::Ok);
    rig.device.deliverAll();
    EXPECT_EQ(rig.device.delivered(), (Log{"failed", "data A 3", "data B 0", "close"}));
    ASSERT_EQ(rig.device.open(WaveFormat{}, rig.owner), WaveResult::Ok);
    EXPECT_FALSE(rig.device.queue().hasFailed());
    EXPECT_EQ(rig.device.start(), WaveResult::Ok);
}

}  // namespace
}  // namespace vorlix::testing
