#include "recording/narration_file.h"

#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <ctime>

#include <cerrno>

#include "common/regular_file.h"
#include "common/temp_path.h"
#include "common/user_prompts.h"
#include "resources/texts.h"
#include "common/little_endian.h"

namespace vorlix {
namespace {

bool writeLe32At(std::FILE* f, long offset, std::uint32_t v) {
    std::uint8_t bytes[4];
    putLe32(bytes, v);
    return std::fseek(f, offset, SEEK_SET) == 0 && std::fwrite(bytes, 1, 4, f) == 4;
}

}  // namespace

const NarrationKind kNarrowNarration{8, texts::kNarrationNotCreated, texts::kNarrationWriteFailed,
                                     texts::kNarrationFull};
const NarrationKind kWideNarration{16, texts::kWideNarrationNotCreated,
                                   texts::kWideNarrationWriteFailed, texts::kWideNarrationFull};

std::string wideNarrationPath(std::string_view narrationPath) {
    constexpr std::string_view wav = ".wav";
    if (narrationPath.ends_with(wav)) narrationPath.remove_suffix(wav.size());
    return std::string(narrationPath) + ".s16.wav";
}

NarrationFile::NarrationFile(UserPrompts& prompts, std::int64_t dataLimit,
                             const NarrationKind& kind)
    : prompts_(prompts),
      kind_(kind),
      // Whole samples only: the header never claims half of one.
      dataLimit_((dataLimit < kMaxDataBytes ? dataLimit : kMaxDataBytes) /
                 (kind.bitsPerSample / 8) * (kind.bitsPerSample / 8)) {}

NarrationFile::~NarrationFile() {
    finish();
}

std::string NarrationFile::makeName(std::int64_t time, std::uint32_t clockThreadId) {
    return lectureTempName("vx_temp_", time, clockThreadId, ".wav");
}

bool NarrationFile::create(std::uint32_t clockThreadId) {
    return createAt(makeName(static_cast<std::int64_t>(std::time(nullptr)), clockThreadId));
}

bool NarrationFile::createAt(const std::string& path) {
    finish();  // at most one narration file is open
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        tell(kind_.notCreated, path, systemReason(errno));
        return false;
    }
    // Unbuffered: every append reaches the file before its header is updated, and fwrite
    // then counts exactly the bytes the system took.
    std::setvbuf(f, nullptr, _IONBF, 0);
    file_ = f;
    bytesWritten_ = 0;
    stopped_ = false;
    if (!writeHeader()) {
        const int error = errno;
        std::fclose(file_);
        file_ = nullptr;
        std::remove(path.c_str());
        tell(kind_.notCreated, path, systemReason(error));
        return false;
    }
    path_ = path;
    return true;
}

bool NarrationFile::writeHeader() {
    std::array<std::uint8_t, kHeaderSize> h{};
    auto tag = [&](int at, const char(&id)[5]) {
        for (int i = 0; i < 4; ++i) h[at + i] = static_cast<std::uint8_t>(id[i]);
    };
    tag(0, "RIFF");
    putLe32(&h[4], 36);
    tag(8, "WAVE");
    tag(12, "fmt ");
    putLe32(&h[16], 16);
    putLe16(&h[20], 1);  // PCM
    putLe16(&h[22], 1);  // mono
    const std::uint16_t bytesPerSample = kind_.bitsPerSample / 8;
    putLe32(&h[24], kSampleRate);
    putLe32(&h[28], kSampleRate * bytesPerSample);
    putLe16(&h[32], bytesPerSample);
    putLe16(&h[34], kind_.bitsPerSample);
    tag(36, "data");
    putLe32(&h[40], 0);
    return std::fwrite(h.data(), 1, h.size(), file_) == h.size();
}

bool NarrationFile::writeLengths() {
    const auto data = static_cast<std::uint32_t>(bytesWritten_);
    // The data length first: should the second write fail, neither field claims unwritten bytes.
    bool ok = writeLe32At(file_, 40, data) && writeLe32At(file_, 4, data + 36);
    return std::fseek(file_, 0, SEEK_END) == 0 && ok;
}

void NarrationFile::tell(std::string_view message, const std::string& path,
                         const std::string& reason) {
    prompts_.showMessage(std::string(message) + "\n" + causeLine(path, reason));
}

void NarrationFile::stopAppending(std::string_view message, const std::string& reason) {
    if (stopped_) return;
    stopped_ = true;
    tell(message, path_, reason);
}

void NarrationFile::append(std::span<const std::uint8_t> buffer) {
    if (file_ == nullptr || stopped_ || buffer.empty()) return;
    if (static_cast<std::int64_t>(buffer.size()) > dataLimit_ - bytesWritten_) {
        stopAppending(kind_.full);
        return;
    }
    const std::size_t written = std::fwrite(buffer.data(), 1, buffer.size(), file_);
    const bool wrote = written == buffer.size();
    int error = wrote ? 0 : errno;
    bool ok = wrote;
    bytesWritten_ += static_cast<std::int64_t>(written);
    if (!ok) {
        // Trust the file itself over the count: the header must not claim missing bytes.
        std::clearerr(file_);
        struct stat st {};
        if (::fstat(fileno(file_), &st) == 0 && st.st_size - kHeaderSize < bytesWritten_) {
            bytesWritten_ = st.st_size < kHeaderSize ? 0 : st.st_size - kHeaderSize;
        }
        bytesWritten_ -= bytesWritten_ % (kind_.bitsPerSample / 8);  // no half sample
    }
    if (!writeLengths()) {
        if (ok) error = errno;
        ok = false;
    }
    if (!ok) stopAppending(kind_.writeFailed, systemReason(error));
}

void NarrationFile::finish() {
    if (file_ == nullptr) return;
    bool ok = writeLengths();
    int error = ok ? 0 : errno;
    if (std::fclose(file_) != 0 && ok) ok = false, error = errno;
    file_ = nullptr;
    if (!ok) stopAppending(kind_.writeFailed, systemReason(error));
}

}  // namespace vorlix
