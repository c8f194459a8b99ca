// A media file as libavformat reads it: each stream's codec, tag and length, every packet with
// its position (the AVI demuxer drops empty chunks, but its timestamps count them), byte offset
// and key flag, the pictures decoded to top-down BGR24 and the audio's bytes.
#pragma once

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
        std::vector<std::uint8_t> data;
    };
    std::vector<Stream> streams;
    std::vector<Packet> packets;
    std::vector<std::vector<std::uint8_t>> frames;  // BGR24, top row first
    int width = 0, height = 0;
    AVRational aspect{0, 1};  // of the pixels, as a player shows them
    std::vector<std::uint8_t> audio;

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
    AVCodecContext* dec = nullptr;
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVCodecParameters* par = fmt->streams[i]->codecpar;
        r.streams.push_back({par->codec_type, par->codec_id, par->codec_tag, par->sample_rate,
                             par->ch_layout.nb_channels, fmt->streams[i]->duration});
        if (par->codec_type != AVMEDIA_TYPE_VIDEO || dec) continue;
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        dec = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(dec, par);
        if (avcodec_open2(dec, codec, nullptr) < 0) avcodec_free_context(&dec);
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
    while (av_read_frame(fmt, pkt) >= 0) {
        r.packets.push_back({pkt->stream_index, pkt->dts, pkt->pos,
                             (pkt->flags & AV_PKT_FLAG_KEY) != 0,
                             std::vector<std::uint8_t>(pkt->data, pkt->data + pkt->size)});
        if (r.streams[pkt->stream_index].type == AVMEDIA_TYPE_AUDIO)
            r.audio.insert(r.audio.end(), pkt->data, pkt->data + pkt->size);
        else if (dec && avcodec_send_packet(dec, pkt) >= 0)
            take();
        av_packet_unref(pkt);
    }
    if (dec && avcodec_send_packet(dec, nullptr) >= 0) take();
    sws_freeContext(sws);
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&dec);
    avformat_close_input(&fmt);
    return r;
}

}  // namespace vorlix::testing
