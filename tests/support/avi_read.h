// A media file as libavformat reads it: each stream's codec, tag and length, every packet with
// its position (the AVI demuxer drops empty chunks, but its timestamps count them), byte offset
// and key flag, the pictures decoded to top-down BGR24 and the audio's bytes (compressed sound
// decoded to unsigned 8-bit mono at its own rate), and the chapters' starts.
#pragma once

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace vorlix::testing {

struct AviRead {
    struct Stream {
        AVMediaType type;
        AVCodecID codec;
        std::uint32_t tag;
        int rate, channels;
        std::int64_t length;  // in positions, for video
    };
    struct Packet {
        int stream;
        std::int64_t position, offset;
        bool key;
        double time;  // presentation time in seconds
        std::vector<std::uint8_t> data;
    };
    std::vector<Stream> streams;
    std::vector<Packet> packets;
    std::vector<std::vector<std::uint8_t>> frames;  // BGR24, top row first
    int width = 0, height = 0;
    AVRational aspect{0, 1};  // of the pixels, as a player shows them
    std::vector<std::uint8_t> audio;
    std::vector<double> chapters;  // starts in seconds

    std::vector<std::int64_t> positions(int stream = 0) const {
        std::vector<std::int64_t> out;
        for (const Packet& p : packets)
            if (p.stream == stream) out.push_back(p.position);
        return out;
    }
    std::uint32_t pixel(std::size_t frame, int x, int y) const {  // 0xRRGGBB
        const std::uint8_t* p = &frames[frame][(static_cast<std::size_t>(y) * width + x) * 3];
        return static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
    }
};

inline AviRead readAvi(const std::string& path) {
    AviRead r;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return r;
    avformat_find_stream_info(fmt, nullptr);
    for (unsigned i = 0; i < fmt->nb_chapters; ++i)
        r.chapters.push_back(fmt->chapters[i]->start * av_q2d(fmt->chapters[i]->time_base));
    AVCodecContext *dec = nullptr, *adec = nullptr;
    auto open = [](const AVCodecParameters* par) {
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        AVCodecContext* c = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(c, par);
        if (avcodec_open2(c, codec, nullptr) < 0) avcodec_free_context(&c);
        return c;
    };
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVCodecParameters* par = fmt->streams[i]->codecpar;
        r.streams.push_back({par->codec_type, par->codec_id, par->codec_tag, par->sample_rate,
                             par->ch_layout.nb_channels, fmt->streams[i]->duration});
        const bool pcm =
            par->codec_id >= AV_CODEC_ID_PCM_S16LE && par->codec_id < AV_CODEC_ID_ADPCM_IMA_QT;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && !dec) dec = open(par);
        if (par->codec_type == AVMEDIA_TYPE_AUDIO && !pcm && !adec) adec = open(par);
    }
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* sws = nullptr;
    auto take = [&] {
        while (dec && avcodec_receive_frame(dec, frame) >= 0) {
            r.width = frame->width, r.height = frame->height, r.aspect = frame->sample_aspect_ratio;
            sws = sws_getCachedContext(sws, r.width, r.height, AVPixelFormat(frame->format),
                                       r.width, r.height, AV_PIX_FMT_BGR24,
                                       SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
                                       nullptr, nullptr);
            r.frames.emplace_back(static_cast<std::size_t>(r.width) * r.height * 3);
            std::uint8_t* dst[4] = {r.frames.back().data()};
            int stride[4] = {r.width * 3};
            sws_scale(sws, frame->data, frame->linesize, 0, r.height, dst, stride);
        }
    };
    auto hear = [&] {  // channel 0 of float sound
        while (avcodec_receive_frame(adec, frame) >= 0) {
            const auto* x = reinterpret_cast<const float*>(frame->extended_data[0]);
            const int step = frame->format == AV_SAMPLE_FMT_FLT ? frame->ch_layout.nb_channels : 1;
            for (int i = 0; i < frame->nb_samples; ++i)
                r.audio.push_back(static_cast<std::uint8_t>(
                    std::clamp(std::lround(128 + 127.0 * x[i * step]), 0L, 255L)));
        }
    };
    while (av_read_frame(fmt, pkt) >= 0) {
        r.packets.push_back({pkt->stream_index, pkt->dts, pkt->pos,
                             (pkt->flags & AV_PKT_FLAG_KEY) != 0,
                             double(pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts) *
                                 av_q2d(fmt->streams[pkt->stream_index]->time_base),
                             std::vector<std::uint8_t>(pkt->data, pkt->data + pkt->size)});
        if (r.streams[pkt->stream_index].type == AVMEDIA_TYPE_AUDIO && adec) {
            if (avcodec_send_packet(adec, pkt) >= 0) hear();
        } else if (r.streams[pkt->stream_index].type == AVMEDIA_TYPE_AUDIO)
            r.audio.insert(r.audio.end(), pkt->data, pkt->data + pkt->size);
        else if (dec && avcodec_send_packet(dec, pkt) >= 0)
            take();
        av_packet_unref(pkt);
    }
    if (dec && avcodec_send_packet(dec, nullptr) >= 0) take();
    if (adec && avcodec_send_packet(adec, nullptr) >= 0) hear();
    avcodec_free_context(&adec);
    sws_freeContext(sws);
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&dec);
    avformat_close_input(&fmt);
    return r;
}

}  // namespace vorlix::testing
