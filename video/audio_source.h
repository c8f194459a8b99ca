// The narration WAV file read back as the audio stream of a lecture's video: its PCM format
// and its samples, in chunks of whatever size the copy asks for.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "video/avi_writer.h"

namespace vorlix {

class AudioSource {
  public:
    // What a read at a position would yield.
    struct ReadSize {
        std::int64_t bytes = 0;
        std::int64_t samples = 0;
    };

    AudioSource() = default;
    ~AudioSource();
    AudioSource(const AudioSource&) = delete;
    AudioSource& operator=(const AudioSource&) = delete;

    // Opens a PCM WAV file (a regular file only). False, with the reason when asked, when it
    // cannot be read or holds no PCM audio stream.
    bool open(const std::string& path, std::string* reason = nullptr);
    // The same over an already open file, which the source then owns (closed on failure too).
    bool openStream(std::FILE* file);
    void close();
    bool isOpen() const { return file_ != nullptr; }

    const AudioFormat& format() const { return format_; }
    std::int64_t start() const { return 0; }
    // Sample frames in the file. A file whose length fields were never completed (recording
    // cut short) counts every whole sample up to the end of the file.
    std::int64_t length() const { return length_; }
    bool lengthWasIncomplete() const { return incomplete_; }

    // A read of about a second: what the file reads conveniently in one go.
    ReadSize convenientRead(std::int64_t position) const;
    // A read of `samples` at `position`, cut at the end of the stream.
    ReadSize readSize(std::int64_t position, std::int64_t samples) const;
    // Reads up to `samples` at `position` into `buffer`, which must hold readSize's bytes.
    // The number of samples read, 0 at the end, -1 on a read failure.
    std::int64_t read(std::int64_t position, std::int64_t samples, std::span<std::uint8_t> buffer);

    // The system's reason for the last failed read; empty when none failed.
    const std::string& lastReadError() const { return readError_; }

  private:
    bool parse();

    std::string readError_;
    std::FILE* file_ = nullptr;
    AudioFormat format_;
    std::int64_t dataOffset_ = 0;
    std::int64_t length_ = 0;
    bool incomplete_ = false;
};

}  // namespace vorlix
