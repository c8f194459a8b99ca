// Narration files come from a recording that may have been cut short by a crash, or from a user
// of the converter: whatever the bytes, reading them must end cleanly.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "video/audio_source.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> copy(data, data + size);
    std::FILE* f = fmemopen(copy.empty() ? nullptr : copy.data(), copy.size(), "rb");
    if (f == nullptr) return 0;
    vorlix::AudioSource source;
    if (!source.openStream(f)) return 0;
    std::vector<std::uint8_t> buffer;
    std::int64_t p = source.start();
    const std::int64_t end = source.start() + source.length();
    while (p < end) {
        vorlix::AudioSource::ReadSize size = source.convenientRead(p);
        if (size.samples <= 0) size = source.readSize(p, 4096);
        if (size.samples <= 0) break;
        buffer.resize(static_cast<std::size_t>(size.bytes));
        std::int64_t got = source.read(p, size.samples, buffer);
        if (got <= 0) break;
        if (got > size.samples) __builtin_trap();
        p += got;
    }
    return 0;
}
