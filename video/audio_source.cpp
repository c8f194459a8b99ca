#include "video/audio_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/little_endian.h"
#include "common/regular_file.h"

namespace vorlix {

namespace {

constexpr std::uint16_t kExtensible = 0xFFFE;

}  // namespace

AudioSource::~AudioSource() {
    close();
}

bool AudioSource::open(const std::string& path, std::string* reason) {
    close();
    std::FILE* f = openRegularStream(path, reason);
    if (f == nullptr) return false;
    if (!openStream(f)) {
        if (reason != nullptr) *reason = "not a PCM WAV file";
        return false;
    }
    return true;
}

bool AudioSource::openStream(std::FILE* file) {
    close();
    if (file == nullptr) return false;
    file_ = file;
    if (!parse()) {
        close();
        return false;
    }
    return true;
}

void AudioSource::close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    format_ = AudioFormat{};
    dataOffset_ = length_ = 0;
    incomplete_ = false;
    readError_.clear();
}

bool AudioSource::parse() {
    if (std::fseek(file_, 0, SEEK_END) != 0) return false;
    const std::int64_t fileSize = std::ftell(file_);
    if (fileSize < 12 || std::fseek(file_, 0, SEEK_SET) != 0) return false;

    std::uint8_t riff[12];
    if (std::fread(riff, 1, 12, file_) != 12) return false;
    if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) return false;

    bool haveFormat = false;
    std::int64_t at = 12;
    while (at + 8 <= fileSize) {
        std::uint8_t head[8];
        if (std::fseek(file_, at, SEEK_SET) != 0 || std::fread(head, 1, 8, file_) != 8) {
            return false;
        }
        const std::int64_t size = getLe32(head + 4);
        const std::int64_t body = at + 8;
        if (std::memcmp(head, "fmt ", 4) == 0) {
            std::uint8_t fmt[40] = {};
            if (size < 16 || std::fread(fmt, 1, std::min<std::int64_t>(size, 40), file_) <
                                 static_cast<std::size_t>(std::min<std::int64_t>(size, 16))) {
                return false;
            }
            format_.formatTag = getLe16(fmt);
            format_.channels = getLe16(fmt + 2);
            format_.sampleRate = getLe32(fmt + 4);
            format_.byteRate = getLe32(fmt + 8);
            format_.blockAlign = getLe16(fmt + 12);
            format_.bitsPerSample = getLe16(fmt + 14);
            if (format_.formatTag == kExtensible) {
                // The sub-format's first two bytes are the plain format tag.
                if (size < 40) return false;
                format_.formatTag = getLe16(fmt + 24);
            }
            if ((format_.formatTag != 1 && format_.formatTag != 3) || !format_.consistent()) {
                return false;
            }
            haveFormat = true;
        } else if (std::memcmp(head, "data", 4) == 0) {
            if (!haveFormat) return false;
            const std::int64_t available = fileSize - body;
            std::int64_t bytes = size;
            // A header never completed says 0 (or a size past the end, for a file cut short):
            // the samples run to the end of the file.
            if (bytes == 0 || bytes > available) {
                incomplete_ = bytes != available;
                bytes = available;
            }
            dataOffset_ = body;
            length_ = bytes / format_.blockAlign;
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}

AudioSource::ReadSize AudioSource::readSize(std::int64_t position, std::int64_t samples) const {
    if (file_ == nullptr || position < 0 || position >= length_ || samples <= 0) return {};
    std::int64_t n = std::min(samples, length_ - position);
    return {n * format_.blockAlign, n};
}

AudioSource::ReadSize AudioSource::convenientRead(std::int64_t position) const {
    return readSize(position, format_.sampleRate);
}

std::int64_t AudioSource::read(std::int64_t position, std::int64_t samples,
                               std::span<std::uint8_t> buffer) {
    ReadSize want = readSize(position, samples);
    if (want.samples == 0) return file_ == nullptr ? -1 : 0;
    if (static_cast<std::int64_t>(buffer.size()) < want.bytes) return -1;
    if (std::fseek(file_, dataOffset_ + position * format_.blockAlign, SEEK_SET) != 0) return -1;
    std::size_t got = std::fread(buffer.data(), 1, static_cast<std::size_t>(want.bytes), file_);
    if (got == 0 && std::ferror(file_)) {
        readError_ = systemReason(errno);
        return -1;
    }
    return static_cast<std::int64_t>(got) / format_.blockAlign;
}

}  // namespace vorlix
