// The device contract every wave input keeps, through the scripted device (which shares its
// queue with the real one).
#include "recording/capture_queue.h"

#include <gtest/gtest.h>

#include <numeric>

#include "tests/support/files.h"
#include "tests/support/scripted_device.h"

namespace vorlix::testing {
namespace {

struct Owner final : WaveInputEvents {
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
        device.delivered.clear();
    }
    ScriptedDevice device;
    Owner owner;
    std::vector<Buffer> buffers;
};

Bytes ramp(int from, int count) {
    Bytes v(static_cast<std::size_t>(count));
    std::iota(v.begin(), v.end(), static_cast<std::uint8_t>(from));
    return v;
}

TEST(CaptureQueue, FillsBuffersStrictlyInQueueOrderAcrossChunks) {
    Rig rig({10, 10});
    std::size_t dropped = 0;
    for (int at = 0; at < 25; at += 3) dropped += rig.device.capture(ramp(at, std::min(3, 25 - at)));
    EXPECT_EQ(dropped, 5u);
    EXPECT_EQ(rig.device.queue().overrunBytes(), 5u);
    EXPECT_EQ(rig.buffers[0].bytes, ramp(0, 10));
    EXPECT_EQ(rig.buffers[1].bytes, ramp(10, 10));
    EXPECT_EQ(rig.device.pending(), 2u) << "posted, not delivered, until pumped";
    rig.device.deliverAll();
    for (auto& b : rig.buffers)
        EXPECT_EQ(b.header.flags & (kWaveBufferDone | kWaveBufferInQueue), kWaveBufferDone);
    // A re-queued buffer is filled after the one ahead of it.
    Rig two({4, 4});
    two.device.capture(ramp(0, 4));
    ASSERT_EQ(two.device.addBuffer(two.buffers[0].header), WaveResult::Ok);
    two.device.capture(ramp(4, 8));
    two.device.deliverAll();
    EXPECT_EQ(two.device.delivered, (Log{"data A 4", "data B 4", "data A 4"}));
    EXPECT_EQ(two.buffers[0].bytes, ramp(8, 4));
}

// Reset hands back the partly filled buffer first, then the queued ones; a failed device says
// so once and hands back its buffers the same way; both reopen afresh.
TEST(CaptureQueue, ResetAndFailureHandBackEveryBuffer) {
    for (const bool failure : {false, true}) {
        Rig rig({10, 10, 10});
        rig.device.capture(ramp(0, 14));
        if (failure) rig.device.failDevice(), rig.device.failDevice();
        if (failure) EXPECT_EQ(rig.device.start(), WaveResult::NoDevice);
        ASSERT_EQ(rig.device.reset(), WaveResult::Ok);
        EXPECT_EQ(rig.device.capture(3, 3), 3u) << "nothing kept after reset or failure";
        ASSERT_EQ(rig.device.close(), WaveResult::Ok);
        rig.device.deliverAll();
        Log expected = {"data A 10", "data B 4", "data C 0", "close"};
        if (failure) expected.insert(expected.begin() + 1, "failed");
        EXPECT_EQ(rig.device.delivered, expected);
        EXPECT_EQ(rig.device.queue().queuedBuffers(), 0u);
        ASSERT_EQ(rig.device.open(WaveFormat{}, rig.owner), WaveResult::Ok);
        EXPECT_EQ(rig.device.start(), WaveResult::Ok);
    }
}

TEST(CaptureQueue, RefusesWhatTheDeviceCannotDo) {
    ScriptedDevice device;
    Owner owner;
    Buffer a(4), b(4);
    WaveBuffer empty;
    EXPECT_EQ(device.prepare(a.header), WaveResult::NotOpen);
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
    EXPECT_EQ(device.unprepare(a.header), WaveResult::Ok) << "allowed once closed";
    EXPECT_EQ(a.bytes, Bytes(4, 0xEE));
}

TEST(CaptureQueue, HandBackHookSeesEachBufferAsItFills) {
    Buffer a(4);
    std::vector<int> seen;
    Owner owner;
    CaptureQueue queue([](std::function<void()>) {});
    queue.setHandBackHook([&](const WaveBuffer& b) { seen.push_back(b.bytesRecorded); });
    queue.open(owner);
    queue.prepare(a.header);
    queue.addBuffer(a.header);
    queue.start();
    queue.deliver(ramp(0, 6));
    queue.addBuffer(a.header);
    queue.deliver(ramp(0, 1));
    queue.reset();
    EXPECT_EQ(seen, (std::vector<int>{4, 1}));
}

}  // namespace
}  // namespace vorlix::testing
