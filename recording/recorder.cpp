#include "recording/recorder.h"

#include <algorithm>
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
    header.bufferLength = Recorder::kCaptureBytes;
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
      allocate_(allocate ? std::move(allocate) : BufferAllocator(allocateFromHeap)),
      wideMessages_(prompts),
      wide_(wideMessages_, NarrationFile::kMaxDataBytes, kWideNarration),
      narrow_(std::make_unique<std::uint8_t[]>(kBufferLength)) {}

Recorder::~Recorder() {
    // The device must not go on filling buffers that die with us.
    if (recording_ && awaitingClose_) {
        device_.reset();
        device_.close();
    }
}

bool Recorder::allocateBuffers() {
    // Blocks left from a lecture whose device never opened are reused as they are.
    if (!bufferA_) bufferA_ = allocate_(kCaptureBytes);
    if (!bufferB_) bufferB_ = allocate_(kCaptureBytes);
    return buffersAllocated();
}

bool Recorder::startRecording(std::uint32_t clockThreadId) {
    if (!idle()) return false;

    const bool haveBuffers = allocateBuffers();
    recording_ = true;
    paused_.store(false);
    captureStarted_ = false;
    handledSamples_ = 0;
    stoppedSamples_ = 0;
    headerA_ = describe(bufferA_.get());
    headerB_ = describe(bufferB_.get());

    // Without both buffers the device is not opened at all: the lecture goes on with the
    // clock held, as with no microphone, and the user is told.
    bool opened = false;
    if (haveBuffers) {
        opened = device_.open(kWideCaptureFormat, *this) == WaveResult::Ok;
        if (opened) {
            device_.prepare(headerA_);
            device_.prepare(headerB_);
        }
    }
    awaitingClose_ = opened;
    completedBuffers_.store(0);

    // Messages come last: their dialogue delivers notifications, and by now everything they
    // touch is in place.
    if (narration_.create(clockThreadId)) wide_.createAt(wideNarrationPath(narration_.path()));
    wideMessages_.release();
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
        appendLastWords();
        // A close that is refused posts nothing, so there is nothing to wait for.
        if (device_.close() != WaveResult::Ok) awaitingClose_ = false;
    }
    stoppedSamples_ = handledSamples_;
    wide_.finish();
    narration_.finish();
    recording_ = false;
    paused_.store(false);
    wideMessages_.release();
}

void Recorder::appendLastWords() {
    // The reset handed back every buffer the recorder had not handled yet, in queue order: the
    // next one due first (A after an even count), then the other. A full one whose notification
    // is still on its way comes before the partly filled one; a buffer that was still empty
    // adds nothing.
    const bool aIsNext = (completedBuffers_.load() & 1) == 0;
    for (WaveBuffer* h : {aIsNext ? &headerA_ : &headerB_, aIsNext ? &headerB_ : &headerA_}) {
        if (h->data == nullptr || (h->flags & kWaveBufferDone) == 0) continue;
        const std::int32_t bytes = std::clamp(h->bytesRecorded, 0, kCaptureBytes) / 2 * 2;
        write(std::span<const std::uint8_t>(h->data, static_cast<std::size_t>(bytes)));
        handledSamples_ += bytes / 2;
    }
}

void Recorder::HeldMessages::showMessage(std::string_view text, std::string_view) {
    held_.emplace_back(text);
}

void Recorder::HeldMessages::release() {
    auto held = std::move(held_);
    held_.clear();
    for (const auto& text : held) to_.showMessage(text);
}

std::uint8_t Recorder::write(std::span<const std::uint8_t> s16le) {
    const std::span<std::uint8_t> narrow(narrow_.get(), s16le.size() / 2);
    narrowing_.narrow(s16le, narrow);
    const std::uint8_t range = levelRange(narrow);
    // The 8-bit file last: its message may serve the loop, and by then both hold this sound.
    wide_.append(s16le);
    narration_.append(narrow);
    wideMessages_.release();
    return range;
}

bool Recorder::pause() {
    if (!recording_ || paused_.load()) return false;
    if (captureStarted_) device_.pause();
    paused_.store(true);
    view_.setRecIndicator(false);
    return true;
}

bool Recorder::resume() {
    if (!recording_ || !paused_.load()) return false;
    if (captureStarted_) device_.start();
    paused_.store(false);
    return true;
}

std::int64_t Recorder::recordedSamples() const {
    if (!recording_) return stoppedSamples_;
    // A buffer in the queue holds what it has been filled with so far (none once re-queued); one
    // that came back and waits for its notification holds all of its two seconds.
    return handledSamples_ + (headerA_.bytesRecorded + headerB_.bytesRecorded) / 2;
}

void Recorder::onWaveOpen() {
    device_.addBuffer(headerA_);
    device_.addBuffer(headerB_);
    captureStarted_ = true;
    // Paused before the device was ready: capture begins at resume.
    if (!paused_.load()) device_.start();
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
    // Buffers handed back after a stop were written by it; here they are only shown (the files
    // are closed).
    if (recording_) handledSamples_ += kBufferLength;
    const std::uint8_t range = write(std::span<const std::uint8_t>(header.data, kCaptureBytes));
    // A buffer that filled as the pause began still counts, but the mark stays off: nothing
    // is being recorded now.
    if (!paused_.load()) view_.setRecIndicator(isA);
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
