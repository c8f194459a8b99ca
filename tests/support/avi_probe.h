// Reading back the AVI files Vorlix writes, for the tests: the RIFF structure read directly
// (FFmpeg's demuxer hides empty chunks), and decoded pictures and audio through libavformat.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace vorlix::testing {

inline std::uint32_t le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

struct AviStream {
    std::string type;     // "vids", "auds"
    std::string handler;  // fccHandler as four characters (zeros shown as '\0')
    std::uint32_t rate = 0, length = 0;
    std::vector<std::uint8_t> format;  // strf contents
};

struct IndexEntry {
    std::string id;  // "00dc", "01wb", ...
    std::uint32_t flags = 0;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    bool key() const { return (flags & 0x10) != 0; }
    int stream() const { return (id[0] - '0') * 10 + (id[1] - '0'); }
};

struct AviFile {
    bool valid = false;
    std::vector<AviStream> streams;
    std::vector<IndexEntry> index;  // idx1, in file order
    std::vector<std::uint8_t> bytes;

    // Positions (sample numbers) of the index entries of one stream that hold data, and of
    // those that are empty, counting entries in order as a player does for video.
    std::vector<std::uint32_t> videoPositions(bool withData, int stream = 0) const {
        std::vector<std::uint32_t> out;
        std::uint32_t n = 0;
        for (const IndexEntry& e : index) {
            if (e.stream() != stream) continue;
            if ((e.size > 0) == withData) out.push_back(n);
            ++n;
        }
        return out;
    }
    // The data of the stream's index entries with data, in order. Offsets count from the
    // "movi" list type.
    std::vector<std::vector<std::uint8_t>> chunks(int stream) const {
        std::vector<std::vector<std::uint8_t>> out;
        for (const IndexEntry& e : index) {
            const std::size_t at = moviStart + e.offset + 8;
            if (e.stream() != stream || e.size == 0 || at + e.size > bytes.size()) continue;
            out.emplace_back(bytes.begin() + at, bytes.begin() + at + e.size);
        }
        return out;
    }
    std::size_t moviStart = 0;  // offset of the "movi" fourcc
};

inline void walkList(AviFile& f, std::size_t from, std::size_t to, AviStream* current) {
    std::size_t p = from;
    while (p + 8 <= to) {
        std::string id(reinterpret_cast<const char*>(&f.bytes[p]), 4);
        std::uint32_t size = le32(&f.bytes[p + 4]);
        std::size_t body = p + 8;
        if (body + size > f.bytes.size()) return;
        if (id == "LIST" && size >= 4) {
            std::string kind(reinterpret_cast<const char*>(&f.bytes[body]), 4);
            if (kind == "movi") {
                f.moviStart = body;
            } else if (kind == "strl") {
                f.streams.emplace_back();
                walkList(f, body + 4, body + size, &f.streams.back());
            } else {
                walkList(f, body + 4, body + size, current);
            }
        } else if (id == "strh" && current != nullptr && size >= 48) {
            const std::uint8_t* h = &f.bytes[body];
            current->type.assign(reinterpret_cast<const char*>(h), 4);
            current->handler.assign(reinterpret_cast<const char*>(h + 4), 4);
            current->rate = le32(h + 24);
            current->length = le32(h + 32);
        } else if (id == "strf" && current != nullptr) {
            current->format.assign(f.bytes.begin() + body, f.bytes.begin() + body + size);
        } else if (id == "idx1") {
            for (std::size_t e = body; e + 16 <= body + size; e += 16) {
                IndexEntry entry;
                entry.id.assign(reinterpret_cast<const char*>(&f.bytes[e]), 4);
                entry.flags = le32(&f.bytes[e + 4]);
                entry.offset = le32(&f.bytes[e + 8]);
                entry.size = le32(&f.bytes[e + 12]);
                f.index.push_back(entry);
            }
        }
        p = body + size + (size & 1);
    }
}

inline AviFile readAvi(const std::string& path) {
    AviFile f;
    std::ifstream in(path, std::ios::binary);
    f.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (f.bytes.size() < 12 || std::memcmp(f.bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(f.bytes.data() + 8, "AVI ", 4) != 0) {
        return f;
    }
    std::size_t end = std::min<std::size_t>(f.bytes.size(), 8 + le32(&f.bytes[4]));
    walkList(f, 12, end, nullptr);
    f.valid = !f.streams.empty();
    return f;
}

// What FFmpeg decodes from a file: video frames as top-down BGR24 with their positions, and
// the audio's bytes.
struct Decoded {
    int width = 0, height = 0;
    std::vector<std::int64_t> framePositions;
    std::vector<std::vector<std::uint8_t>> frames;  // BGR24, top row first, width * 3 per row
    std::vector<std::uint8_t> audio;
    int audioRate = 0;
};

inline Decoded decodeAvi(const std::string& path) {
    Decoded d;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return d;
    avformat_find_stream_info(fmt, nullptr);
    int v = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    int a = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    AVCodecContext* dec = nullptr;
    if (a >= 0) d.audioRate = fmt->streams[a]->codecpar->sample_rate;
    if (v >= 0) {
        const AVCodecParameters* par = fmt->streams[v]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        dec = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(dec, par);
        dec->thread_count = 1;
        if (avcodec_open2(dec, codec, nullptr) < 0) avcodec_free_context(&dec);
    }
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* sws = nullptr;
    auto take = [&] {
        while (dec != nullptr && avcodec_receive_frame(dec, frame) >= 0) {
            d.width = frame->width;
            d.height = frame->height;
            sws = sws_getCachedContext(
                sws, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                frame->width, frame->height, AV_PIX_FMT_BGR24,
                SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
            std::vector<std::uint8_t> bgr(static_cast<std::size_t>(frame->width) * frame->height *
                                          3);
            std::uint8_t* dst[4] = {bgr.data(), nullptr, nullptr, nullptr};
            int dstStride[4] = {frame->width * 3, 0, 0, 0};
            sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
            d.frames.push_back(std::move(bgr));
            d.framePositions.push_back(frame->best_effort_timestamp);
        }
    };
    while (av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == a) {
            d.audio.insert(d.audio.end(), pkt->data, pkt->data + pkt->size);
        } else if (pkt->stream_index == v && dec != nullptr && pkt->size > 0) {
            if (avcodec_send_packet(dec, pkt) >= 0) take();
        }
        av_packet_unref(pkt);
    }
    if (dec != nullptr) {
        avcodec_send_packet(dec, nullptr);
        take();
    }
    sws_freeContext(sws);
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&dec);
    avformat_close_input(&fmt);
    return d;
}

}  // namespace vorlix::testing
