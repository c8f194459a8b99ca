// Web video checks for tests and benchmarks: slides and spoken narrations to make one from, and
// the MP4 read back through libavformat (streams, packets, chapters, the order of its boxes) and
// measured as ffmpeg's ebur128 filter measures it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <regex>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
}

#include "tests/support/bmp_writer.h"
#include "tests/support/scratch_dir.h"

namespace vorlix::testing {

// The encoders' statistics would bury the test output.
inline const int kQuietFfmpeg = (av_log_set_level(AV_LOG_ERROR), 0);

inline std::string runCommand(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;)
            out.append(buffer, n);
        ::pclose(p);
    }
    return out;
}

// A slide of one colour (0xRRGGBB) with a grid of dark "text lines", so it codes like a real one.
inline void writeSlide(const std::string& path, int width, int height, std::uint32_t rgb) {
    writeFile(path, bmp24(width, height, [&](int x, int y) -> std::uint32_t {
                  const bool ink = y % 40 > 30 && x % 23 > 4 && y > height / 8 &&
                                   y < height * 7 / 8 && x > width / 10 && x < width * 9 / 10;
                  return ink ? 0x202020u : rgb;
              }));
}

// Speech from espeak-ng as the recorder writes it (44.1 kHz mono, 8-bit unsigned or 16-bit),
// `seconds` long, its level scaled by `volume`.
inline bool writeSpeech(const std::string& path, double seconds, double volume, int bits = 8) {
    const std::string raw = path + ".espeak.wav";
    const std::string text =
        "Today we look at how a lecture becomes a video. Every slide has its own moment, and the "
        "voice carries the lesson from one slide to the next. Questions are welcome at the end.";
    runCommand("espeak-ng -s 160 -w '" + raw + "' '" + text + "' 2>&1");
    const std::string enc = bits == 8 ? "-e unsigned-integer -b 8" : "-e signed-integer -b 16";
    char cmd[1024];
    std::snprintf(cmd, sizeof cmd,
                  "sox '%s' -r 44100 -c 1 %s '%s' vol %.4f repeat %d trim 0 %.3f 2>&1 && echo ok",
                  raw.c_str(), enc.c_str(), path.c_str(), volume, static_cast<int>(seconds / 5) + 1,
                  seconds);
    const bool ok = runCommand(cmd).find("ok") != std::string::npos;
    std::remove(raw.c_str());
    return ok;
}

struct ProbedPacket {
    double time = 0;  // seconds
    bool key = false;
    int size = 0;
};
struct ProbedChapter {
    double start = 0, end = 0;
    std::string title;
};
struct ProbedMp4 {
    bool opened = false;
    std::string videoCodec, audioCodec;
    int width = 0, height = 0, profile = -1, pixFmt = -1;
    int sampleRate = 0, channels = 0;
    double duration = 0;
    std::vector<ProbedPacket> video;
    std::vector<ProbedChapter> chapters;
    std::vector<std::string> boxes;  // top-level box types in file order
};

inline ProbedMp4 probeMp4(const std::string& path) {
    ProbedMp4 out;
    AVFormatContext* fc = nullptr;
    if (avformat_open_input(&fc, path.c_str(), nullptr, nullptr) < 0) return out;
    avformat_find_stream_info(fc, nullptr);
    out.opened = true;
    out.duration = fc->duration / static_cast<double>(AV_TIME_BASE);
    int vi = -1, ai = -1;
    for (unsigned i = 0; i < fc->nb_streams; ++i) {
        const AVCodecParameters* p = fc->streams[i]->codecpar;
        if (p->codec_type == AVMEDIA_TYPE_VIDEO && vi < 0) {
            vi = static_cast<int>(i);
            out.videoCodec = avcodec_get_name(p->codec_id);
            out.width = p->width;
            out.height = p->height;
            out.profile = p->profile;
            out.pixFmt = p->format;
        } else if (p->codec_type == AVMEDIA_TYPE_AUDIO && ai < 0) {
            ai = static_cast<int>(i);
            out.audioCodec = avcodec_get_name(p->codec_id);
            out.sampleRate = p->sample_rate;
            out.channels = p->ch_layout.nb_channels;
        }
    }
    for (unsigned i = 0; i < fc->nb_chapters; ++i) {
        const AVChapter* c = fc->chapters[i];
        const AVDictionaryEntry* t = av_dict_get(c->metadata, "title", nullptr, 0);
        out.chapters.push_back({c->start * av_q2d(c->time_base), c->end * av_q2d(c->time_base),
                                t != nullptr ? t->value : ""});
    }
    AVPacket* pkt = av_packet_alloc();
    while (av_read_frame(fc, pkt) >= 0) {
        const AVRational tb = fc->streams[pkt->stream_index]->time_base;
        if (pkt->stream_index == vi)
            out.video.push_back(
                {pkt->pts * av_q2d(tb), (pkt->flags & AV_PKT_FLAG_KEY) != 0, pkt->size});
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    avformat_close_input(&fc);
    const std::vector<std::uint8_t> bytes = readBytes(path);
    for (std::size_t at = 0; at + 8 <= bytes.size();) {
        std::uint64_t size = static_cast<std::uint64_t>(bytes[at]) << 24 | bytes[at + 1] << 16 |
                             bytes[at + 2] << 8 | bytes[at + 3];
        out.boxes.emplace_back(reinterpret_cast<const char*>(&bytes[at + 4]), 4);
        if (size < 8) break;
        at += size;
    }
    return out;
}

struct Loudness {
    double integrated = 0;  // LUFS
    double truePeak = 0;    // dBTP
};

// As `ffmpeg -af ebur128=peak=true` reports it in its summary.
inline std::optional<Loudness> measureLoudness(const std::string& path) {
    const std::string log = runCommand("ffmpeg -nostats -hide_banner -i '" + path +
                                       "' -af ebur128=peak=true -f null - 2>&1");
    const std::size_t summary = log.rfind("Summary:");
    if (summary == std::string::npos) return std::nullopt;
    const std::string tail = log.substr(summary);
    std::smatch i, p;
    if (!std::regex_search(tail, i, std::regex(R"(I:\s+(-?[\d.]+) LUFS)")) ||
        !std::regex_search(tail, p, std::regex(R"(Peak:\s+(-?[\d.]+|-inf) dBFS)"))) {
        return std::nullopt;
    }
    return Loudness{std::stod(i[1]), std::stod(p[1])};
}

// The luma plane of the first frame at or after `seconds`, as ffmpeg decodes it.
struct Luma {
    int width = 0;
    std::string y;
    int at(int x, int row) const {
        return static_cast<std::uint8_t>(y.at(static_cast<std::size_t>(row) * width + x));
    }
};
inline Luma lumaAt(const std::string& path, double seconds, int width) {
    return {width, runCommand("ffmpeg -v error -ss " + std::to_string(seconds) + " -i '" + path +
                              "' -frames:v 1 -f rawvideo -pix_fmt gray -")};
}

}  // namespace vorlix::testing
