// The lecture's narration: a RIFF WAVE file, PCM unsigned 8-bit mono 44100 Hz, 44-byte header;
// beside it the same sound in 16 bits (signed, little-endian), kept the same way. The header is
// kept valid after every append, so a file left behind by a crash or a killed program plays and
// holds every completed buffer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "recording/wave_input.h"

namespace vorlix {

class UserPrompts;

// The sample size of a narration file and what its user is told when it fails.
struct NarrationKind {
    std::uint16_t bitsPerSample;
    std::string_view notCreated;
    std::string_view writeFailed;
    std::string_view full;
};
extern const NarrationKind kNarrowNarration;  // 8-bit: the narration the video is made from
extern const NarrationKind kWideNarration;    // 16-bit, beside it

// The 16-bit narration's path beside the 8-bit one: "x.wav" -> "x.s16.wav".
std::string wideNarrationPath(std::string_view narrationPath);

class NarrationFile {
  public:
    static constexpr std::int32_t kHeaderSize = 44;
    static constexpr std::int32_t kSampleRate = kNarrationSampleRate;
    // The most sample bytes a WAV file can describe: its RIFF size (data + 36) is 32 bits.
    static constexpr std::int64_t kMaxDataBytes = 0xFFFFFFFFLL - 36;

    // dataLimit lowers the largest narration (the tests reach it without writing 4 GiB).
    explicit NarrationFile(UserPrompts& prompts, std::int64_t dataLimit = kMaxDataBytes,
                           const NarrationKind& kind = kNarrowNarration);
    ~NarrationFile();  // finishes an open file
    NarrationFile(const NarrationFile&) = delete;
    NarrationFile& operator=(const NarrationFile&) = delete;

    // "vx_temp_<time>_<clock thread id as 8 hex digits>.wav" in the temp folder.
    static std::string makeName(std::int64_t time, std::uint32_t clockThreadId);

    // Creates the file under makeName(now, id); on failure tells the user and stays closed.
    bool create(std::uint32_t clockThreadId);
    // Creates the file at the given path (the converter and the tests name their own).
    bool createAt(const std::string& path);

    // Appends sound (whole samples) and updates the header. Nothing when no file is open.
    // After a write failure, or when the buffer would pass the size limit, the user is told
    // once and nothing more is appended; the header never claims more than the file holds.
    void append(std::span<const std::uint8_t> buffer);

    // Completes the header and closes the file. Nothing when no file is open.
    void finish();

    bool isOpen() const { return file_ != nullptr; }
    const std::string& path() const { return path_; }
    // Sample bytes that reached the file.
    std::int64_t bytesWritten() const { return bytesWritten_; }
    // True once appending stopped for good (write failure or size limit).
    bool appendingStopped() const { return stopped_; }

  private:
    bool writeHeader();
    bool writeLengths();
    // The message, then the file and the system's reason on a line of their own.
    void tell(std::string_view message, const std::string& path, const std::string& reason);
    void stopAppending(std::string_view message, const std::string& reason = {});

    UserPrompts& prompts_;
    const NarrationKind& kind_;
    std::int64_t dataLimit_;
    std::FILE* file_ = nullptr;
    std::string path_;
    std::int64_t bytesWritten_ = 0;
    bool stopped_ = false;
};

}  // namespace vorlix
