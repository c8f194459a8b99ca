#include "video/avi_writer.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "video/jpeg_planes.h"
#include "video/video_codecs.h"

namespace vorlix {

namespace {

std::string avError(const char* what, int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return std::string(what) + ": " + text;
}

AVCodecID pcmCodecFor(const AudioFormat& f) {
    if (!f.consistent()) return AV_CODEC_ID_NONE;
    if (f.formatTag == 1) {
        switch (f.bitsPerSample) {
            case 8:
                return AV_CODEC_ID_PCM_U8;
            case 16:
                return AV_CODEC_ID_PCM_S16LE;
            case 24:
                return AV_CODEC_ID_PCM_S24LE;
            case 32:
                return AV_CODEC_ID_PCM_S32LE;
            default:
                break;
        }
    } else if (f.formatTag == 3) {
        if (f.bitsPerSample == 32) return AV_CODEC_ID_PCM_F32LE;
        if (f.bitsPerSample == 64) return AV_CODEC_ID_PCM_F64LE;
    }
    return AV_CODEC_ID_NONE;
}

// Lower-is-better encoder scales from the quality the user sees: `best` at kQualityMax,
// `best + span` at kQualityMin.
int lowerIsBetter(int quality, int best, int span) {
    const int steps = std::clamp(quality, kQualityMin, kQualityMax) - kQualityMin;
    return best + span - steps * span / (kQualityMax - kQualityMin);
}
int qscaleFor(int quality) {
    return lowerIsBetter(quality, 2, 29);
}
int crfFor(int quality) {
    return lowerIsBetter(quality, 10, 40);
}

}  // namespace

struct EncodedFrame::Packets {
    std::vector<AVPacket*> list;
    std::string error;  // why the encoding failed; empty when it did not

    ~Packets() {
        for (AVPacket*& p : list) av_packet_free(&p);
    }
};

EncodedFrame::EncodedFrame() = default;
EncodedFrame::~EncodedFrame() = default;
EncodedFrame::EncodedFrame(EncodedFrame&&) noexcept = default;
EncodedFrame& EncodedFrame::operator=(EncodedFrame&&) noexcept = default;

struct AviWriter::State {
    AVFormatContext* fmt = nullptr;
    AVStream* video = nullptr;
    AVStream* audio = nullptr;
    AVCodecContext* enc = nullptr;
    SwsContext* sws = nullptr;  // null when jpegPlanes converts the rows
    bool jpegPlanes = false;
    AVFrame* frame = nullptr;
    AVPacket* pkt = nullptr;
    AVPacket* last = nullptr;  // the last video packet given to the muxer, for repeats
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t rate = 0;
    std::uint32_t sampleRate = 0;
    std::int64_t lastPosition = -1;
    bool started = false;
    std::string error;

    ~State() {
        sws_freeContext(sws);
        av_frame_free(&frame);
        av_packet_free(&pkt);
        av_packet_free(&last);
        avcodec_free_context(&enc);
        if (fmt != nullptr) {
            if (fmt->pb != nullptr) avio_closep(&fmt->pb);
            avformat_free_context(fmt);
        }
    }

    bool fail(std::string text) {
        error = std::move(text);
        return false;
    }

    void setUncompressedParameters() {
        AVCodecParameters* par = avcodec_parameters_alloc();
        if (par == nullptr) return;
        par->codec_type = AVMEDIA_TYPE_VIDEO;
        par->codec_id = AV_CODEC_ID_RAWVIDEO;
        par->codec_tag = 0;
        par->format = AV_PIX_FMT_BGR24;
        par->width = width;
        par->height = height;
        par->bits_per_coded_sample = 24;
        // Tells the muxer the rows come bottom-up, as a DIB holds them (positive biHeight).
        static constexpr char kBottomUp[] = "BottomUp";
        par->extradata =
            static_cast<std::uint8_t*>(av_mallocz(sizeof kBottomUp + AV_INPUT_BUFFER_PADDING_SIZE));
        if (par->extradata != nullptr) {
            std::memcpy(par->extradata, kBottomUp, sizeof kBottomUp);
            par->extradata_size = sizeof kBottomUp;
        }
        avcodec_parameters_copy(video->codecpar, par);
        avcodec_parameters_free(&par);
    }

    // Hands one packet in `tb` units to the muxer.
    bool writePacket(AVPacket* p, AVStream* st, AVRational tb) {
        p->stream_index = st->index;
        av_packet_rescale_ts(p, tb, st->time_base);
        int rc = av_write_frame(fmt, p);
        av_packet_unref(p);
        // A full disk shows in the file's own error first: stop there, with the system's reason.
        if (rc >= 0 && fmt->pb != nullptr && fmt->pb->error < 0) rc = fmt->pb->error;
        if (rc < 0) return fail(avError("writing the file", rc));
        return true;
    }

    bool writeVideoPacket(AVPacket* p, std::int64_t position) {
        p->pts = p->dts = position;
        p->duration = 1;
        p->flags |= AV_PKT_FLAG_KEY;
        av_packet_unref(last);
        if (av_packet_ref(last, p) < 0) return fail("out of memory");
        if (!writePacket(p, video, AVRational{1, rate})) return false;
        lastPosition = position;
        return true;
    }

    // Repeats the last packet (or an empty one before the first) at `position`.
    bool repeatLast(std::int64_t position) {
        if (av_packet_ref(pkt, last) < 0) return fail("out of memory");
        return writeVideoPacket(pkt, position);
    }

    bool receivePackets(std::int64_t position) {
        for (;;) {
            int rc = avcodec_receive_packet(enc, pkt);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
            if (rc < 0) return fail(avError("encoding a frame", rc));
            // Frames are intra-only and never reordered; a late packet keeps its own time.
            std::int64_t at = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : position;
            if (at <= lastPosition) at = lastPosition + 1;
            if (!writeVideoPacket(pkt, at)) return false;
        }
    }

    // Encodes one frame, its top row at `top`, into `out`, touching nothing the file's writing
    // uses.
    bool encode(const std::uint8_t* top, std::ptrdiff_t step, std::int64_t position,
                EncodedFrame::Packets& out) {
        auto failed = [&](std::string why) {
            out.error = std::move(why);
            return false;
        };
        if (enc == nullptr) {
            // Uncompressed: the rows of a DIB, bottom-up, each padded to 4 bytes.
            const std::size_t stride = AviWriter::rowStride(width);
            const std::size_t size = stride * static_cast<std::size_t>(height);
            AVPacket* p = av_packet_alloc();
            if (p == nullptr || av_new_packet(p, static_cast<int>(size)) < 0) {
                av_packet_free(&p);
                return failed("out of memory");
            }
            const std::size_t used = static_cast<std::size_t>(width) * 3;
            for (std::int32_t y = 0; y < height; ++y) {
                std::uint8_t* to = p->data + static_cast<std::size_t>(height - 1 - y) * stride;
                std::memcpy(to, top + y * step, used);
                std::memset(to + used, 0, stride - used);
            }
            p->pts = position;
            out.list.push_back(p);
            return true;
        }
        if (av_frame_make_writable(frame) < 0) return failed("out of memory");
        if (jpegPlanes) {
            toJpegPlanes(top, step, width, height, frame->data, frame->linesize);
        } else {
            const std::uint8_t* src[4] = {top, nullptr, nullptr, nullptr};
            const int srcStride[4] = {static_cast<int>(step), 0, 0, 0};
            sws_scale(sws, src, srcStride, 0, height, frame->data, frame->linesize);
        }
        frame->pts = position;
        frame->pict_type = AV_PICTURE_TYPE_I;
        frame->key_frame = 1;
        frame->quality = enc->global_quality;  // the mpeg-family encoders take it per frame
        int rc = avcodec_send_frame(enc, frame);
        if (rc < 0) return failed(avError("encoding a frame", rc));
        for (;;) {
            AVPacket* p = av_packet_alloc();
            if (p == nullptr) return failed("out of memory");
            rc = avcodec_receive_packet(enc, p);
            if (rc < 0) {
                av_packet_free(&p);
                if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
                return failed(avError("encoding a frame", rc));
            }
            out.list.push_back(p);
        }
    }
};

AviWriter::AviWriter() : s_(std::make_unique<State>()) {
    s_->pkt = av_packet_alloc();
    s_->last = av_packet_alloc();
}

AviWriter::~AviWriter() = default;

bool AviWriter::open(const std::string& path) {
    if (s_->fmt != nullptr) return s_->fail("already open");
    if (s_->pkt == nullptr || s_->last == nullptr) return s_->fail("out of memory");
    int rc = avformat_alloc_output_context2(&s_->fmt, nullptr, "avi", nullptr);
    if (rc < 0 || s_->fmt == nullptr) return s_->fail(avError("AVI muxer", rc));
    // An empty file (the caller's fresh temporary one) is not truncated again: on ext4 a
    // truncated file has every page pushed to the disk when it is closed, and the caller
    // waits for it.
    AVDictionary* options = nullptr;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0) {
        av_dict_set(&options, "truncate", "0", 0);
    }
    rc = avio_open2(&s_->fmt->pb, path.c_str(), AVIO_FLAG_WRITE, nullptr, &options);
    av_dict_free(&options);
    if (rc < 0) {
        avformat_free_context(s_->fmt);
        s_->fmt = nullptr;
        return s_->fail(avError(path.c_str(), rc));
    }
    return true;
}

bool AviWriter::isOpen() const {
    return s_->fmt != nullptr;
}

bool AviWriter::addVideoStream(std::int32_t width, std::int32_t height, std::int32_t rate) {
    if (s_->fmt == nullptr || s_->started || s_->video != nullptr) return s_->fail("no file");
    if (width <= 0 || height <= 0 || rate <= 0) return s_->fail("bad video size or rate");
    s_->video = avformat_new_stream(s_->fmt, nullptr);
    if (s_->video == nullptr) return s_->fail("out of memory");
    s_->width = width;
    s_->height = height;
    s_->rate = rate;
    s_->video->time_base = AVRational{1, rate};
    s_->video->avg_frame_rate = AVRational{rate, 1};
    s_->video->r_frame_rate = AVRational{rate, 1};
    s_->setUncompressedParameters();
    return true;
}

bool AviWriter::hasVideoStream() const {
    return s_->video != nullptr;
}

bool AviWriter::makeCompressedStream(const CodecChoice& choice) {
    State& s = *s_;
    if (s.video == nullptr || s.started) return s.fail("no video stream");
    avcodec_free_context(&s.enc);
    if (choice.name == kUncompressedCodec) return true;  // rows go in as they are

    const AVCodec* codec = avcodec_find_encoder_by_name(choice.name.c_str());
    if (codec == nullptr || codec->type != AVMEDIA_TYPE_VIDEO) {
        return s.fail("no video encoder named " + choice.name);
    }
    s.enc = avcodec_alloc_context3(codec);
    if (s.enc == nullptr) return s.fail("out of memory");
    AVCodecContext* e = s.enc;
    e->width = s.width;
    e->height = s.height;
    e->time_base = AVRational{1, s.rate};
    e->framerate = AVRational{s.rate, 1};
    e->gop_size = 0;  // every frame a key frame
    e->max_b_frames = 0;
    e->thread_count = 1;  // no frame delay: each slide's packet comes out at once
    e->sample_aspect_ratio = AVRational{1, 1};

    const std::string name = choice.name;
    if (name == "mjpeg") {
        e->pix_fmt = AV_PIX_FMT_YUVJ420P;
        e->color_range = AVCOL_RANGE_JPEG;
    } else if (name == "mpeg4" || name == "libx264") {
        e->pix_fmt = AV_PIX_FMT_YUV420P;
    } else if (name == "utvideo") {
        e->pix_fmt = AV_PIX_FMT_GBRP;
    } else if (codec->pix_fmts != nullptr) {
        e->pix_fmt =
            avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, AV_PIX_FMT_BGR24, 0, nullptr);
    } else {
        e->pix_fmt = AV_PIX_FMT_BGR24;
    }
    if (name == "mjpeg" || name == "mpeg4") {
        e->flags |= AV_CODEC_FLAG_QSCALE;
        e->global_quality = FF_QP2LAMBDA * qscaleFor(choice.quality);
    } else if (name == "libx264") {
        av_opt_set(e->priv_data, "preset", "ultrafast", 0);
        av_opt_set(e->priv_data, "tune", "zerolatency", 0);
        av_opt_set(e->priv_data, "x264-params",
                   "keyint=1:min-keyint=1:bframes=0:scenecut=0:repeat-headers=1", 0);
        av_opt_set_int(e->priv_data, "crf", crfFor(choice.quality), 0);
    }

    int rc = avcodec_open2(e, codec, nullptr);
    if (rc < 0) {
        avcodec_free_context(&s.enc);
        return s.fail(avError(name.c_str(), rc));
    }
    av_frame_free(&s.frame);
    s.frame = av_frame_alloc();
    if (s.frame == nullptr) return s.fail("out of memory");
    s.frame->format = e->pix_fmt;
    s.frame->width = s.width;
    s.frame->height = s.height;
    if (av_frame_get_buffer(s.frame, 0) < 0) {
        avcodec_free_context(&s.enc);
        return s.fail("out of memory");
    }
    // Motion JPEG's planes are made by our own conversion, five times faster; it takes even
    // sizes only.
    s.jpegPlanes = e->pix_fmt == AV_PIX_FMT_YUVJ420P && s.width % 2 == 0 && s.height % 2 == 0;
    if (s.jpegPlanes) {
        sws_freeContext(s.sws);
        s.sws = nullptr;
        return true;
    }
    s.sws = sws_getCachedContext(s.sws, s.width, s.height, AV_PIX_FMT_BGR24, s.width, s.height,
                                 e->pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (s.sws == nullptr) {
        avcodec_free_context(&s.enc);
        return s.fail("no conversion to the encoder's pixel format");
    }
    return true;
}

bool AviWriter::setVideoFormat() {
    State& s = *s_;
    if (s.video == nullptr || s.started) return s.fail("no video stream");
    if (s.enc == nullptr) {
        s.setUncompressedParameters();
        return true;
    }
    int rc = avcodec_parameters_from_context(s.video->codecpar, s.enc);
    if (rc >= 0) {
        // Keep a tag the encoder chose (Ut Video's tag names its pixel format); otherwise
        // the muxer picks its own.
        if (avformat_query_codec(s.fmt->oformat, s.enc->codec_id, FF_COMPLIANCE_NORMAL) == 1) {
            return true;
        }
        rc = AVERROR(EINVAL);
    }
    // The stream stays in the file, as uncompressed frames with none written.
    avcodec_free_context(&s.enc);
    s.setUncompressedParameters();
    return s.fail(avError("video format", rc));
}

bool AviWriter::addAudioStream(const AudioFormat& format) {
    State& s = *s_;
    if (s.fmt == nullptr || s.started || s.audio != nullptr) return s.fail("no file");
    AVCodecID id = pcmCodecFor(format);
    if (id == AV_CODEC_ID_NONE) return s.fail("audio format not supported");
    s.audio = avformat_new_stream(s.fmt, nullptr);
    if (s.audio == nullptr) return s.fail("out of memory");
    AVCodecParameters* par = s.audio->codecpar;
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->codec_id = id;
    par->codec_tag = format.formatTag;
    av_channel_layout_default(&par->ch_layout, format.channels);
    par->sample_rate = static_cast<int>(format.sampleRate);
    par->block_align = format.blockAlign;
    par->bits_per_coded_sample = format.bitsPerSample;
    // The muxer derives the stream's byte rate from the bit rate.
    par->bit_rate = static_cast<std::int64_t>(format.sampleRate) * format.blockAlign * 8;
    s.audio->time_base = AVRational{1, static_cast<int>(format.sampleRate)};
    s.sampleRate = format.sampleRate;
    return true;
}

bool AviWriter::start() {
    State& s = *s_;
    if (s.fmt == nullptr || s.started) return s.fail("no file");
    if (s.fmt->nb_streams == 0) return s.fail("no stream");
    int rc = avformat_write_header(s.fmt, nullptr);
    if (rc < 0) return s.fail(avError("writing the header", rc));
    s.started = true;
    return true;
}

bool AviWriter::writeVideoFrame(std::int64_t position, std::span<const std::uint8_t> rows) {
    State& s = *s_;
    if (!s.started || s.video == nullptr) return s.fail("no video stream");
    if (position < 0 || position <= s.lastPosition) {
        return s.fail("frame position " + std::to_string(position) + " is not after " +
                      std::to_string(s.lastPosition));
    }
    const std::size_t stride = rowStride(s.width);
    if (rows.size() != stride * static_cast<std::size_t>(s.height)) {
        return s.fail("frame does not match the video stream");
    }
    EncodedFrame frame;
    try {
        frame.p_ = std::make_unique<EncodedFrame::Packets>();
    } catch (const std::bad_alloc&) {
        return s.fail("out of memory");
    }
    // Bottom-up rows: start at the last one and walk backwards.
    s.encode(rows.data() + (static_cast<std::size_t>(s.height) - 1) * stride,
             -static_cast<std::ptrdiff_t>(stride), position, *frame.p_);
    return writeEncodedFrame(position, frame);
}

bool AviWriter::encodeVideoFrame(std::int64_t position, const FrameCanvas& canvas,
                                 EncodedFrame& out) {
    State& s = *s_;
    try {
        out.p_ = std::make_unique<EncodedFrame::Packets>();
    } catch (const std::bad_alloc&) {
        return false;  // told by the write
    }
    if (!s.started || s.video == nullptr) {
        out.p_->error = "no video stream";
        return false;
    }
    if (canvas.width != s.width || canvas.height != s.height || canvas.empty()) {
        out.p_->error = "frame does not match the video stream";
        return false;
    }
    return s.encode(canvas.row(0), static_cast<std::ptrdiff_t>(canvas.width) * 3, position,
                    *out.p_);
}

bool AviWriter::writeEncodedFrame(std::int64_t position, EncodedFrame& frame) {
    State& s = *s_;
    if (!s.started || s.video == nullptr) return s.fail("no video stream");
    if (position < 0 || position <= s.lastPosition) {
        return s.fail("frame position " + std::to_string(position) + " is not after " +
                      std::to_string(s.lastPosition));
    }
    if (frame.p_ == nullptr) return s.fail("out of memory");
    if (!frame.p_->error.empty()) return s.fail(frame.p_->error);
    // The muxer only fills gaps after a first packet: an empty one at 0 keeps a late first
    // slide at its own time.
    if (s.lastPosition < 0 && position > 0) {
        av_packet_unref(s.pkt);
        if (!s.writeVideoPacket(s.pkt, 0)) return false;
    }
    while (position - s.lastPosition - 1 > kMaxSkippedPositions) {
        if (!s.repeatLast(s.lastPosition + kMaxSkippedPositions + 1)) return false;
    }
    for (AVPacket* p : frame.p_->list) {
        // Frames are intra-only and never reordered; a late packet keeps its own time.
        std::int64_t at = p->pts != AV_NOPTS_VALUE ? p->pts : position;
        if (at <= s.lastPosition) at = s.lastPosition + 1;
        if (!s.writeVideoPacket(p, at)) return false;
    }
    return true;
}

bool AviWriter::writeAudio(std::int64_t position, std::span<const std::uint8_t> data,
                           std::int64_t samples) {
    State& s = *s_;
    if (!s.started || s.audio == nullptr) return s.fail("no audio stream");
    if (data.empty() || samples <= 0) return s.fail("empty audio write");
    // Written at once (no interleaving queue), so the muxer may read the caller's bytes.
    av_packet_unref(s.pkt);
    s.pkt->data = const_cast<std::uint8_t*>(data.data());
    s.pkt->size = static_cast<int>(data.size());
    s.pkt->pts = s.pkt->dts = position;
    s.pkt->duration = samples;
    s.pkt->flags |= AV_PKT_FLAG_KEY;
    return s.writePacket(s.pkt, s.audio, AVRational{1, static_cast<int>(s.sampleRate)});
}

bool AviWriter::finish() {
    State& s = *s_;
    if (s.fmt == nullptr) return s.fail("no file");
    bool ok = true;
    if (s.started) {
        if (s.enc != nullptr && avcodec_send_frame(s.enc, nullptr) >= 0) {
            ok = s.receivePackets(s.lastPosition + 1) && ok;
        }
        int rc = av_write_trailer(s.fmt);
        if (rc < 0) ok = s.fail(avError("writing the index", rc));
    }
    if (ok && s.fmt->pb != nullptr && s.fmt->pb->error < 0) {
        ok = s.fail(avError("writing the file", s.fmt->pb->error));
    }
    int rc = avio_closep(&s.fmt->pb);
    if (rc < 0 && ok) ok = s.fail(avError("writing the file", rc));
    avformat_free_context(s.fmt);
    s.fmt = nullptr;
    s.video = s.audio = nullptr;
    s.started = false;
    return ok;
}

const std::string& AviWriter::lastError() const {
    return s_->error;
}

}  // namespace vorlix
