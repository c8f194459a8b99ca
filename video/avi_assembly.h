// Building a lecture's AVI file: one key frame per timeline line at the line's tick, rendered
// from its slide, and the narration copied in as the audio stream, both written in time order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "video/audio_source.h"
#include "video/avi_writer.h"
#include "video/conversion_state.h"
#include "video/frame_renderer.h"

namespace vorlix {

class UserPrompts;

// The sample position of frame i (the current timeline line's tick).
using FrameTimeOperation = std::function<std::int32_t(std::int32_t frameIndex)>;
// Reads the line for frame i; non-zero when there was one.
using NextLineOperation = std::function<int(std::int32_t frameIndex)>;

struct AviProgress {
    std::int32_t linesDone = 0;
    std::int64_t audioSamplesCopied = 0;
    std::int64_t audioSamplesTotal = 0;  // 0 without narration
    std::uint32_t audioSampleRate = 0;
};
using AviProgressCallback = std::function<void(const AviProgress&)>;

// What a build needs from around it.
struct AviBuildEnvironment {
    UserPrompts& prompts;
    ConversionState& state;
    AviProgressCallback progress;  // may be empty
    // Files the build reads besides the narration (timeline, slides): the output may not be
    // one of them.
    std::vector<std::string> inputs = {};
    // When given, a narration missing from a written video is added here for the caller to
    // tell, instead of a message of its own.
    std::vector<std::string>* problems = nullptr;
    // Where the frame operations (nextLine, draw) put what they find wrong. Frames are made
    // ahead of the file, so each frame takes what was found while making it, and it is added to
    // `problems` only when that frame's turn comes: a build that stops early tells nothing
    // about the frames after it.
    std::vector<std::string>* frameProblems = nullptr;
    // Frames made ahead of the file on a thread of their own while the sound is copied; 0 makes
    // each one in its turn on the calling thread. The operations then run on that thread.
    std::size_t framesAhead = kFramesAhead;
    static constexpr std::size_t kFramesAhead = 4;
};

// What a build did, beyond its failure count: for the command line and the tests.
struct AviBuildReport {
    int failures = 0;
    std::int32_t framesWritten = 0;
    bool narrationWanted = false;
    bool narrationCopied = false;
    std::string narrationError;  // why the narration is missing or cut, when it is
    bool written = false;        // the file is complete under its final name
    std::string error;  // the writer's last complaint, if any
};

// Copies an audio source into the writer's audio stream, in pieces, so that the copy can be
// interleaved with the video. Result codes: 0 success, -1 failure (the copy then stops).
class StreamCopy {
  public:
    // A read that cannot say what it would yield conveniently asks for this many samples.
    static constexpr std::int64_t kFallbackSamples = 4096;

    StreamCopy(AviWriter& writer, AudioSource& source);
    // Adds the audio stream with the source's format; before the writer starts.
    int begin();
    // Copies the samples before `end` (a sample position); the last piece may reach past it.
    int copyUntil(std::int64_t end);
    int copyRest() { return copyUntil(last_ + 1); }

    bool failed() const { return failed_; }
    std::int64_t copied() const { return position_ - first_; }
    std::int64_t total() const { return last_ + 1 - first_; }
    void setProgress(std::function<void()> afterEachPiece) {
        afterEach_ = std::move(afterEachPiece);
    }

  private:
    // Reads go this far ahead, in whole pieces, so the file is read in large blocks while
    // the pieces written stay the same.
    static constexpr std::int64_t kReadAheadBytes = 128 * 1024;
    AviWriter& writer_;
    AudioSource& source_;
    std::vector<std::uint8_t> buffer_;
    std::int64_t bufferedFrom_ = 0;  // position of buffer_'s first sample
    std::int64_t buffered_ = 0;      // samples held
    std::function<void()> afterEach_;
    std::int64_t first_ = 0;
    std::int64_t last_ = -1;
    std::int64_t position_ = 0;
    bool failed_ = false;
};

// Writes the AVI file at outputPath: frames of width x height at bitDepth, at most frameLimit
// of them, `rate` positions a second, then the narration (none when the path is empty).
// The inputs are opened first; the file is written under a temporary name beside outputPath
// and renamed over it only when complete, and an outputPath that is one of the inputs is
// refused before anything is written. Shows its own messages through the prompts, sets the
// conversion-finished flag when nothing failed, and returns the failure count (0 or 1).
int buildAviFile(const std::string& outputPath, std::int32_t width, std::int32_t height,
                 std::int32_t bitDepth, std::int32_t frameLimit, std::int32_t rate,
                 const DrawOperation& draw, const FrameTimeOperation& frameTime,
                 const NextLineOperation& nextLine, const std::string& narrationPath,
                 AviBuildEnvironment& env, AviBuildReport* report = nullptr);

}  // namespace vorlix
