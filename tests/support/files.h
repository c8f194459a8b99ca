// Files for the tests: a scratch folder per test, TEMP pointed at it, bytes in and out, slide
// bitmaps made by Qt, narrations by the program's own writer; the heap's count; shell commands.
#pragma once

#include <malloc.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QBuffer>
#include <QImage>
#include <filesystem>
#include <cstdio>
#include <fstream>
#include <regex>

#include "recording/narration_file.h"
#include "tests/support/fakes.h"

namespace vorlix::testing {

using Bytes = std::vector<std::uint8_t>;

class ScratchDir {
  public:
    ScratchDir() {
        static std::atomic<int> serial{0};
        std::filesystem::create_directories(path_ /= "vorlix-test-" + std::to_string(::getpid()) +
                                                     "-" + std::to_string(serial++));
    }
    ~ScratchDir() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_ = std::filesystem::temp_directory_path();
};

// Points TEMP, where a lecture's files go, at a folder while it lives.
struct TempFolder {
    explicit TempFolder(const std::filesystem::path& folder) {
        ::setenv("TEMP", folder.c_str(), 1);
    }
    ~TempFolder() { ::unsetenv("TEMP"); }
};

inline Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
template <class Container>
bool writeFile(const std::string& path, const Container& bytes) {
    std::ofstream out(path, std::ios::binary);
    return static_cast<bool>(
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size())));
}
inline std::uint32_t le32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
// Little-endian fields written over a file's bytes: {offset, value, bytes}.
struct Patch {
    std::size_t at;
    std::uint32_t value;
    int bytes = 4;
};
inline Bytes patched(Bytes f, const std::vector<Patch>& patches) {
    for (const Patch& p : patches)
        for (int i = 0; i < p.bytes; ++i)
            f[p.at + i] = static_cast<std::uint8_t>(p.value >> (8 * i));
    return f;
}

// A BMP file as Qt writes it (24 bits, bottom-up) of a w x h picture coloured rgb(x, y).
template <class Rgb>
Bytes bmpOf(int w, int h, Rgb rgb) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            reinterpret_cast<QRgb*>(image.scanLine(y))[x] = 0xFF000000u | rgb(x, y);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return {bytes.begin(), bytes.end()};
}

// A recognisable, non-repeating sequence of samples.
inline Bytes noise(std::size_t n, std::uint32_t x = 2463534242u) {
    Bytes v(n);
    for (std::uint8_t& s : v)
        x ^= x << 13, x ^= x >> 17, x ^= x << 5, s = static_cast<std::uint8_t>(x);
    return v;
}

// A narration written by the program's own writer; complete = false leaves the two length fields
// as a recording cut short leaves them (36 and 0).
inline void writeNarration(const std::string& path, const Bytes& samples, bool complete = true) {
    {
        FakePrompts prompts;
        NarrationFile narration(prompts);
        narration.createAt(path);
        narration.append(samples);
    }
    if (!complete) writeFile(path, patched(readBytes(path), {{4, 36}, {40, 0}}));
}

// Bytes the heap holds, as glibc counts them (the sanitizer build's allocator keeps no count).
inline std::size_t heapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

// What a shell command prints; with `status`, its exit status there (-1 when it did not exit).
inline std::string run(const std::string& command, int* status = nullptr) {
    std::string out;
    int rc = -1;
    if (std::FILE* p = ::popen(command.c_str(), "r")) {
        for (int c; (c = std::fgetc(p)) != EOF;) out += static_cast<char>(c);
        rc = ::pclose(p);
    }
    if (status != nullptr) *status = rc != -1 && WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

// ffmpeg's ebur128 on the decoded MP4: integrated loudness and true peak.
inline std::pair<double, double> levels(const std::string& mp4) {
    const std::string log = run("ffmpeg -nostats -i '" + mp4 + "' -af ebur128=peak=true -f null - 2>&1");
    std::smatch i, p;
    const std::string summary = log.substr(std::min(log.rfind("Summary:"), log.size()));
    if (!std::regex_search(summary, i, std::regex("I:\\s*(-?[0-9.]+)")) ||
        !std::regex_search(summary, p, std::regex("Peak:\\s*(-?[0-9.]+)")))
        return {0, 0};
    return {std::stod(i[1]), std::stod(p[1])};
}

// The converter run as its users run it: its exit status (-1 when killed) and all it printed.
inline const std::string kConverter = VORLIX_BINARY_DIR "/tools/vorlix-convert";
inline std::pair<int, std::string> convert(const std::vector<std::string>& args) {
    std::string command = kConverter;
    for (const std::string& a : args) command += " '" + a + "'";  // no quotes in these paths
    int status = -1;
    std::string output = run(command + " 2>&1 </dev/null", &status);
    return {status, std::move(output)};
}

// Speech from espeak-ng as the recorder writes it: 44.1 kHz mono, 8-bit unsigned or 16-bit.
inline bool writeSpeech(const std::string& path, double seconds, double volume, int bits = 8) {
    return run("espeak-ng -s 160 -w '" + path + ".e.wav' 'Today we look at how a lecture becomes "
               "a video. Every slide has its own moment, and the voice carries the lesson on.' && "
               "sox -R '" + path + ".e.wav' -r 44100 -c 1 " +
               (bits == 8 ? "-e unsigned-integer -b 8 '" : "-e signed-integer -b 16 '") + path +
               "' vol " + std::to_string(volume) + " repeat 20 trim 0 " + std::to_string(seconds) +
               " 2>&1 && echo ok").ends_with("ok\n");
}

}  // namespace vorlix::testing
