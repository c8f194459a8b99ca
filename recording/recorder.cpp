#include "recording/recorder.h"

#include <new>
#include <span>
#include <string>
#include <utility>

#include "common/lecture_view.h"
#include "common/user_prompts.h"
#include "recording/level_meter.h"
#include "recording/narration_file.h"
#include "resources/texts.h"

namespace vorlix {
namespace {

std::unique_ptr<std::uint8_t[]> allocateFromHeap(std::size_t size) {
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[size]);
}

WaveBuffer describe(std::uint8_t* data) {
    WaveBuffer header;
    header.data = data;
    header.bufferLength = Recorder::kBufferLength;
    header.bytesRecorded = 0;
    header.user = 0;
    header.flags = 0;
    header.loops = 1;
    return header;
}

}  // namespace

Recorder::Recorder(WaveInput& device, NarrationFile& narration, LectureView& view,
                   UserPrompts& prompts, BufferAllocator allocate)
    : device_(device),
      narration_(narration),
      view_(view),
      prompts_(prompts),
      allocate_(allocate ? std::move(allocate) : BufferAllocator(allocateFromHeap)) {}

Recorder::~Recorder() {
    // The device must not go on filling buffers that die with us.
    if (recording_ && awaitingClose_) {
        device_.reset();
        device_.close();
    }
}

bool Recorder::allocateBuffers() {
    // Blocks left from a lecture whose device never opened are reused as they are.
    if (!bufferA_) bufferA_ = allocate_(kBufferLength);
    if (!bufferB_) bufferB_ = allocate_(kBufferLength);
    return buffersAllocated();
}

bool Recorder::startRecording(std::uint32_t clockThreadId) {
    if (!idle()) return false;

    const bool haveBuffers = allocateBuffers();
    recording_ = true;
    headerA_ = describe(bufferA_.get());
    headerB_ = describe(bufferB_.get());

    // Without both buffers the device is not opened at all: the lecture goes on with the
    // clock held, as with no microphone, and the user is told.
    bool opened = false;
    if (haveBuffers) {
        opened = device_.open(WaveFormat{}, *this) == WaveResult::Ok;
        if (opened) {
            device_.prepare(headerA_);
            device_.prepare(headerB_);
        }
    }
    awaitingClose_ = opened;
    completedBuffers_.store(0);

    // Messages come last: their dialogue delivers notifications, and by now everything they
    // touch is in place.
    narration_.create(clockThreadId);
    if (!haveBuffers) {
        prompts_.showMessage(texts::kBuffersNotAllocated);
    } else if (!opened) {
        prompts_.showMessage(texts::kDeviceNotOpened);
    }
    return true;
}

void Recorder::stopRecording() {
    if (!recording_) return;
    if (awaitingClose_) {
        device_.reset();
        // A close that is refused posts nothing, so there is nothing to wait for.
        if (device_.close() != WaveResult::Ok) awaitingClose_ = false;
    }
    narration_.finish();
    recording_ = false;
}

void Recorder::onWaveOpen() {
    device_.addBuffer(headerA_);
    device_.addBuffer(headerB_);
    device_.start();
}

void Recorder::onWaveData(WaveBuffer& /*buffer*/) {
    // The parity names the buffer: the device hands them back in the order they were queued,
    // A first.
    const std::int32_t count = completedBuffers_.load() + 1;
    completedBuffers_.store(count);
    const bool isA = (count & 1) != 0;
    WaveBuffer& header = isA ? headerA_ : headerB_;

    // Back into the queue before it is read: the device fills the other buffer meanwhile, so
    // it never runs dry while this one is written out.
    device_.addBuffer(header);

    if (header.data == nullptr) return;
    const std::span<const std::uint8_t> samples(header.data, kBufferLength);
    // The range is taken before the append, whose error message may hold us up long enough
    // for the device to come round to this buffer again.
    const std::uint8_t range = levelRange(samples);
    narration_.append(samples);
    view_.setRecIndicator(isA);
    view_.setLevelText(std::string(levelText(range)));
}

void Recorder::onWaveClose() {
    device_.unprepare(headerA_);
    device_.unprepare(headerB_);
    headerA_.data = nullptr;
    headerB_.data = nullptr;
    bufferA_.reset();
    bufferB_.reset();
    awaitingClose_ = false;
}

void Recorder::onWaveFailed() {
    // The device reports its failure once; after a stop it no longer matters.
    if (!recording_) return;
    prompts_.showMessage(texts::kDeviceLost);
}

}  // namespace vorlix
