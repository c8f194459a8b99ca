// An AVI file being written through FFmpeg's muxer: one video stream whose frames are key
// frames at chosen sample positions (the positions between them stay empty, so a player keeps
// the previous picture on screen), and one PCM audio stream copied as it comes.
//
// Use: open, addVideoStream, optionally makeCompressedStream and setVideoFormat, optionally
// addAudioStream, start, then writes in time order, then finish. Every call reports failure
// through its result; nothing throws.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "common/user_prompts.h"
#include "video/frame_image.h"

namespace vorlix {

// A PCM format as a WAV file's format chunk gives it.
struct AudioFormat {
    static constexpr std::uint32_t kMaxSampleRate = 768000;

    std::uint16_t formatTag = 1;  // 1 integer PCM, 3 floating point
    std::uint16_t channels = 1;
    std::uint32_t sampleRate = 44100;
    std::uint32_t byteRate = 44100;
    std::uint16_t blockAlign = 1;  // bytes per sample frame (all channels)
    std::uint16_t bitsPerSample = 8;

    // Fields that agree: some channels, a rate up to kMaxSampleRate, whole bytes a sample, and
    // frames of one sample for every channel.
    bool consistent() const {
        return channels != 0 && sampleRate != 0 && sampleRate <= kMaxSampleRate &&
               bitsPerSample != 0 && bitsPerSample % 8 == 0 &&
               blockAlign == channels * (bitsPerSample / 8);
    }
};

// One frame's packets, encoded apart from the file's writing: a frame can be encoded on another
// thread while the audio is written, and written later in its turn.
class EncodedFrame {
  public:
    EncodedFrame();
    ~EncodedFrame();
    EncodedFrame(EncodedFrame&&) noexcept;
    EncodedFrame& operator=(EncodedFrame&&) noexcept;

  private:
    friend class AviWriter;
    struct Packets;
    std::unique_ptr<Packets> p_;
};

class AviWriter {
  public:
    // The muxer refuses gaps longer than this many empty positions.
    static constexpr std::int64_t kMaxSkippedPositions = 60000;

    AviWriter();
    ~AviWriter();  // abandons an unfinished file (whatever reached the disk stays)
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Creates or truncates the file, whatever its name's extension.
    bool open(const std::string& path);
    bool isOpen() const;

    // The video stream, 24-bit frames of that size at `rate` positions a second. Until a
    // compressed stream is made, it holds full bottom-up DIB frames.
    bool addVideoStream(std::int32_t width, std::int32_t height, std::int32_t rate);
    bool hasVideoStream() const;
    // Opens the chosen encoder for the video stream.
    bool makeCompressedStream(const CodecChoice& choice);
    // Fixes the video stream's format; false when the file cannot carry it.
    bool setVideoFormat();

    // The audio stream, samples in `format`; positions count sample frames.
    bool addAudioStream(const AudioFormat& format);

    // Writes the file's header; no stream can be added afterwards.
    bool start();

    // One key frame at `position`, which must be greater than the previous frame's: the rows
    // of a 24-bit DIB (blue, green, red; bottom row first; each padded to 4 bytes). A gap
    // longer than the muxer allows is bridged by repeating the previous frame.
    bool writeVideoFrame(std::int64_t position, std::span<const std::uint8_t> rows);
    static std::size_t rowStride(std::int32_t width) { return FrameImage::strideFor(width, 24); }
    // writeVideoFrame in two halves, from a canvas of the stream's size instead of rows. The
    // encoding touches only the encoder, so one other thread may encode frames, in order, while
    // this one writes the audio and the frames already made. A failed encoding is told by its
    // write (false, lastError says why).
    bool encodeVideoFrame(std::int64_t position, const FrameCanvas& canvas, EncodedFrame& out);
    bool writeEncodedFrame(std::int64_t position, EncodedFrame& frame);
    // `samples` sample frames at `position`.
    bool writeAudio(std::int64_t position, std::span<const std::uint8_t> data,
                    std::int64_t samples);

    // Sends what the encoder still holds, writes the index and closes the file.
    bool finish();

    // What went wrong last, for a log or the command line.
    const std::string& lastError() const;

  private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace vorlix
