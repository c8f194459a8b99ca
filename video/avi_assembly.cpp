#include "video/avi_assembly.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <new>
#include <optional>

#include "common/regular_file.h"
#include "common/safe_output.h"
#include "common/user_prompts.h"
#include "resources/texts.h"
#include "video/frame_image.h"
#include "video/frame_pipeline.h"
#include "video/video_codecs.h"

namespace vorlix {

StreamCopy::StreamCopy(AviWriter& writer, AudioSource& source) : writer_(writer), source_(source) {}

int StreamCopy::begin() {
    first_ = source_.start();
    last_ = first_ + source_.length() - 1;
    position_ = first_;
    if (!source_.isOpen() || !writer_.addAudioStream(source_.format())) {
        failed_ = true;
        return -1;
    }
    return 0;
}

int StreamCopy::copyUntil(std::int64_t end) {
    if (failed_) return -1;
    const std::int64_t align = source_.format().blockAlign;
    while (position_ <= last_ && position_ < end) {
        AudioSource::ReadSize size = source_.convenientRead(position_);
        if (size.bytes <= 0 || size.samples <= 0) {
            size = source_.readSize(position_, kFallbackSamples);
        }
        const std::int64_t held = bufferedFrom_ + buffered_ - position_;
        if (held <= 0) {
            // The pieces to come, as many whole ones as fit in the read-ahead, read at once.
            const std::int64_t pieces = std::max<std::int64_t>(1, kReadAheadBytes / size.bytes);
            const AudioSource::ReadSize block = source_.readSize(position_, size.samples * pieces);
            try {
                buffer_.resize(static_cast<std::size_t>(block.bytes));
            } catch (const std::bad_alloc&) {
                failed_ = true;
                return -1;
            }
            bufferedFrom_ = position_;
            buffered_ = source_.read(position_, block.samples, buffer_);
            // A read that yields nothing would never advance: the copy ends there.
            if (buffered_ <= 0) {
                buffered_ = 0;
                failed_ = true;
                return -1;
            }
        }
        const std::int64_t got = std::min(size.samples, bufferedFrom_ + buffered_ - position_);
        const auto at = static_cast<std::size_t>((position_ - bufferedFrom_) * align);
        if (!writer_.writeAudio(
                position_, std::span(buffer_).subspan(at, static_cast<std::size_t>(got * align)),
                got)) {
            failed_ = true;
            return -1;
        }
        position_ += got;
        if (afterEach_) afterEach_();
    }
    return 0;
}

int buildAviFile(const std::string& outputPath, std::int32_t width, std::int32_t height,
                 std::int32_t bitDepth, std::int32_t frameLimit, std::int32_t rate,
                 const DrawOperation& draw, const FrameTimeOperation& frameTime,
                 const NextLineOperation& nextLine, const std::string& narrationPath,
                 AviBuildEnvironment& env, AviBuildReport* report) {
    int failures = 0;
    bool lastFailed = false;  // the result of the open, the stream, the format and the writes
    AviProgress progress;
    auto tell = [&] {
        if (env.progress) env.progress(progress);
    };

    // The format frame: only its header is used.
    std::unique_ptr<FrameImage> image;
    renderFrame(image, static_cast<std::uint16_t>(bitDepth), width, height, -1, draw, env.prompts);
    bool videoOk = image != nullptr;
    if (!videoOk) ++failures;  // already told ("MAKEDIB ERROR!")
    // The writer takes 24-bit rows; any other depth is a format the file cannot carry.
    const bool depthOk = !videoOk || image->bitCount() == 24;
    std::int32_t frameWidth = videoOk ? image->width() : width;
    std::int32_t frameHeight = videoOk ? image->height() : height;
    freeFrame(image);

    AviWriter writer;
    AudioSource source;
    StreamCopy copy(writer, source);
    bool narrationWanted = !narrationPath.empty();
    bool narrationOk = false;
    std::string narrationError;
    std::int32_t framesWritten = 0;

    // The inputs first: a mistyped narration must not cost the video already there.
    const bool narrationOpened = narrationWanted && source.open(narrationPath, &narrationError);
    std::vector<std::string> inputs = env.inputs;
    if (narrationWanted) inputs.push_back(narrationPath);
    SafeOutput output;
    std::string outputError;
    bool fileOpened = output.begin(outputPath, inputs, outputError);
    if (fileOpened && !writer.open(output.tempPath())) {
        outputError = writer.lastError();
        fileOpened = false;
    }
    bool written = false;
    if (!fileOpened) {
        ++failures;
        env.prompts.showMessage(
            std::string(texts::kCannotOpenAviFile) + "\n" + causeLine(outputPath, outputError),
            texts::kErrorCaption);
    } else {
        if (videoOk && !writer.addVideoStream(frameWidth, frameHeight, rate)) {
            ++failures;
            lastFailed = true;
            videoOk = false;
        }
        if (videoOk) {
            std::optional<CodecChoice> choice = env.prompts.chooseCodec(availableVideoCodecs());
            if (!choice) {
                ++failures;  // cancelled: no message
                videoOk = false;
            } else if (!depthOk || !writer.makeCompressedStream(*choice) ||
                       !writer.setVideoFormat()) {
                ++failures;
                lastFailed = true;
                videoOk = false;
            }
        }
        // Both streams exist before the header: the narration is opened now and copied
        // alongside the frames, so the file is interleaved in time order.
        if (narrationOpened && copy.begin() == 0) {
            narrationOk = true;
            progress.audioSamplesTotal = copy.total();
            progress.audioSampleRate = source.format().sampleRate;
            copy.setProgress([&] {
                progress.audioSamplesCopied = copy.copied();
                tell();
            });
        }
        if (!writer.start()) {
            if (writer.hasVideoStream() && failures == 0) {
                ++failures;
                lastFailed = true;
            }
            videoOk = narrationOk = false;
        }

        const std::int64_t sampleRate = narrationOk ? source.format().sampleRate : 0;
        // Frames come in two stages ahead of this thread, each on a thread of its own: one reads
        // the lines and draws the slides, the other codes the drawn frames in their order. This
        // one meanwhile copies the sound up to each frame's time; the file gets both in time
        // order.
        // What this thread learns of a frame, from either stage.
        struct FrameNews {
            bool lineRead = false;  // false: no line for it (the end, or the limit)
            bool imageMade = false;
            std::int32_t time = 0;
            std::vector<std::string> problems;
        };
        struct DrawnFrame : FrameNews {
            FrameCanvas canvas{0, 0};
        };
        struct MadeFrame : FrameNews {
            EncodedFrame encoded;
        };
        const std::size_t ahead = videoOk ? env.framesAhead : 0;
        const auto drawFrame = [&](std::int32_t i, DrawnFrame& d) {
            auto takeProblems = [&] {
                if (env.frameProblems != nullptr) {
                    d.problems.swap(*env.frameProblems);
                    env.frameProblems->clear();
                }
            };
            if (!videoOk || i >= frameLimit || nextLine(i) == 0) {
                takeProblems();
                return false;
            }
            d.lineRead = true;
            try {
                d.canvas = FrameCanvas(frameWidth, frameHeight);
                if (!d.canvas.empty()) {
                    draw(d.canvas, i);
                    d.time = frameTime(i);
                    d.imageMade = true;
                }
            } catch (const std::exception&) {
                d.imageMade = false;
            }
            takeProblems();
            return d.imageMade;
        };
        // A drawn frame is a whole canvas: only one waits for the coder.
        FramePipeline<DrawnFrame> drawn(std::min<std::size_t>(ahead, 1), drawFrame);
        FramePipeline<MadeFrame> frames(ahead, [&](std::int32_t, MadeFrame& f) {
            std::optional<DrawnFrame> d = drawn.next();
            if (!d) return false;
            static_cast<FrameNews&>(f) = std::move(static_cast<FrameNews&>(*d));
            if (!f.imageMade) return false;
            try {
                return writer.encodeVideoFrame(f.time, d->canvas, f.encoded);
            } catch (const std::exception&) {
                f.imageMade = false;
                return false;
            }
        });
        while (std::optional<MadeFrame> f = frames.next()) {
            if (env.problems != nullptr) {
                env.problems->insert(env.problems->end(), f->problems.begin(), f->problems.end());
            }
            if (!f->lineRead) break;
            if (!f->imageMade) {
                env.prompts.showMessage(texts::kMakeDibError, texts::kAviErrCaption);
                ++failures;  // nothing is written for it
                break;
            }
            const std::int32_t t = f->time;
            if (narrationOk && t > 0 && copy.copyUntil(t * sampleRate / rate) != 0) {
                narrationOk = false;
            }
            if (!writer.writeEncodedFrame(t, f->encoded)) {
                ++failures;
                lastFailed = true;
                break;
            }
            ++framesWritten;
            progress.linesDone = framesWritten;
            tell();
        }
        frames.stop();
        drawn.stop();
        if (narrationOk && copy.copyRest() != 0) narrationOk = false;
        if (narrationOpened && !narrationOk && narrationError.empty()) {
            narrationError = source.lastReadError().empty()
                                 ? std::string("could not be read past its header")
                                 : "could not be read past its header: " + source.lastReadError();
        }
        if (!writer.finish() && failures == 0) {
            // The file's end (its index) did not reach the disk.
            ++failures;
            lastFailed = true;
        }
        // Only a complete file takes the final name; a failed one leaves what was there.
        std::string commitError;
        if (failures == 0) {
            written = output.commit(commitError);
            if (!written) {
                ++failures;
                lastFailed = true;
                outputError = commitError;
            }
        } else {
            output.discard();
        }
    }
    freeFrame(image);

    if (lastFailed) {
        const std::string why = !outputError.empty() ? outputError : writer.lastError();
        env.prompts.showMessage(std::string(texts::kWritingErr) + "\n" + causeLine(outputPath, why),
                                texts::kAviErrCaption);
    }
    // A silent video must not pass for a finished one; the failure count stays as it is.
    if (written && narrationWanted && !narrationOk) {
        const std::string text = std::string(texts::kNarrationNotCopied) + "\n" +
                                 (env.problems != nullptr ? "  " : "") +
                                 causeLine(narrationPath, narrationError);
        if (env.problems != nullptr) {
            env.problems->push_back(text);
        } else {
            env.prompts.showMessage(text);
        }
    }
    if (failures == 0) env.state.conversionFinished = 1;
    if (report != nullptr) {
        report->failures = failures;
        report->framesWritten = framesWritten;
        report->narrationWanted = narrationWanted;
        report->narrationCopied = narrationOk;
        report->narrationError = narrationError;
        report->written = written;
        report->error = !outputError.empty() ? outputError : writer.lastError();
    }
    return failures;
}

}  // namespace vorlix
