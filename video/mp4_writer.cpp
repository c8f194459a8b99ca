#include "video/mp4_writer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "common/regular_file.h"
#include "resources/texts.h"
#include "video/frame_pipeline.h"
#include "video/slide_bitmap.h"
#include "video/slide_picture.h"
#include "video/web_audio.h"
#include "video/web_chapters.h"

namespace vorlix {

namespace {

constexpr AVRational kChangeTimeBase{1, static_cast<int>(kChangeRate)};
constexpr AVRational kAudioTimeBase{1, static_cast<int>(kWebSampleRate)};
constexpr std::size_t kFramesAhead = 4;

struct Packet {
    std::vector<std::uint8_t> data;
    std::int64_t pts = 0;
    std::int64_t duration = 0;
    bool key = false;
};

struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
using CodecPtr = std::unique_ptr<AVCodecContext, CodecCloser>;

// Changes in strictly increasing order from 0, each before the end, each to another slide (Next
// on the last slide records a line but changes nothing on screen).
std::vector<SlideChange> orderedChanges(std::vector<SlideChange> changes, std::int64_t end) {
    std::stable_sort(
        changes.begin(), changes.end(),
        [](const SlideChange& a, const SlideChange& b) { return a.sample < b.sample; });
    std::vector<SlideChange> out;
    for (SlideChange& c : changes) {
        c.sample = std::max<std::int64_t>(0, c.sample);
        if (!out.empty() && c.sample >= end) break;
        // Two changes at one moment: the later one is what was on screen.
        if (!out.empty() && out.back().sample == c.sample) out.pop_back();
        if (!out.empty() && out.back().slidePath == c.slidePath) continue;
        out.push_back(std::move(c));
    }
    if (!out.empty()) out.front().sample = 0;
    return out;
}

// Renders slides into frames of one size and encodes each as a key frame.
class SlideEncoder {
  public:
    bool open(Size size, std::string& error) {
        size_ = size;
        const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
        if (codec == nullptr) {
            error = "no H.264 encoder (libx264)";
            return false;
        }
        c_.reset(avcodec_alloc_context3(codec));
        frame_ = av_frame_alloc();
        pkt_ = av_packet_alloc();
        if (!c_ || frame_ == nullptr || pkt_ == nullptr) {
            error = "out of memory";
            return false;
        }
        c_->width = size.width;
        c_->height = size.height;
        c_->pix_fmt = AV_PIX_FMT_YUV420P;
        c_->time_base = kChangeTimeBase;
        c_->framerate = {1, 1};
        c_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        c_->thread_count = 1;  // the other cores encode the sound meanwhile
        c_->colorspace = AVCOL_SPC_BT709;
        c_->color_primaries = AVCOL_PRI_BT709;
        c_->color_trc = AVCOL_TRC_BT709;
        c_->color_range = AVCOL_RANGE_MPEG;
        av_opt_set(c_->priv_data, "preset", "fast", 0);
        av_opt_set(c_->priv_data, "tune", "stillimage", 0);
        av_opt_set(c_->priv_data, "profile", "high", 0);
        av_opt_set(c_->priv_data, "crf", "22", 0);
        // Every frame is a slide change, so every frame is a key frame, sent out at once.
        av_opt_set(c_->priv_data, "x264-params",
                   "keyint=1:min-keyint=1:scenecut=0:bframes=0:rc-lookahead=0:sync-lookahead=0", 0);
        if (avcodec_open2(c_.get(), codec, nullptr) < 0) {
            error = "the H.264 encoder cannot be opened";
            return false;
        }
        frame_->format = AV_PIX_FMT_YUV420P;
        frame_->width = size.width;
        frame_->height = size.height;
        if (av_frame_get_buffer(frame_, 0) < 0) {
            error = "out of memory";
            return false;
        }
        return true;
    }
    ~SlideEncoder() {
        av_frame_free(&frame_);
        av_packet_free(&pkt_);
    }

    const AVCodecContext* context() const { return c_.get(); }

    bool encode(const std::string& slidePath, std::int64_t pts, std::vector<Packet>& out) {
        if (av_frame_make_writable(frame_) < 0) return false;
        std::string why;
        if (!draw(slidePath, why) && unreadable_.insert(slidePath).second)
            problems_.push_back(std::string(texts::kProblemSlide) + "\n  " + causeLine(slidePath, why));
        frame_->pts = pts;
        frame_->pict_type = AV_PICTURE_TYPE_I;
        return avcodec_send_frame(c_.get(), frame_) >= 0 && drain(out);
    }
    bool flush(std::vector<Packet>& out) {
        return avcodec_send_frame(c_.get(), nullptr) >= 0 && drain(out);
    }
    // The slides that could not be read, each once, in the order met, with the reason.
    const std::vector<std::string>& problems() const { return problems_; }

  private:
    void fill(std::uint8_t y) {
        for (int p = 0; p < 3; ++p) {
            const int rows = p == 0 ? size_.height : size_.height / 2;
            for (int r = 0; r < rows; ++r)
                std::memset(frame_->data[p] + r * frame_->linesize[p], p == 0 ? y : 128,
                            static_cast<std::size_t>(p == 0 ? size_.width : size_.width / 2));
        }
    }
    // The slide fitted inside black bars; a slide that cannot be read gives a white frame and
    // false, with the reason in `why`.
    bool draw(const std::string& path, std::string& why) {
        std::optional<SlideBitmap> slide = readSlidePicture(path, &why);
        if (!slide || slide->width() <= 0 || slide->height() <= 0) {
            fill(235);
            return false;
        }
        fill(16);
        const Placement at = fitInside(slide->width(), slide->height(), size_.width, size_.height);
        // Averaging areas keeps text legible when shrinking; bicubic when enlarging.
        const bool shrinks = at.width < slide->width();
        SwsContext* sws = sws_getContext(slide->width(), slide->height(), AV_PIX_FMT_BGR24,
                                         at.width, at.height, AV_PIX_FMT_YUV420P,
                                         (shrinks ? SWS_AREA : SWS_BICUBIC) | SWS_ACCURATE_RND,
                                         nullptr, nullptr, nullptr);
        if (sws == nullptr) {
            fill(235);
            why = "out of memory";
            return false;
        }
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(sws, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
        const std::uint8_t* src[] = {slide->row(0)};
        const int srcStride[] = {static_cast<int>(slide->stride())};
        std::uint8_t* dst[] = {frame_->data[0] + at.y * frame_->linesize[0] + at.x,
                               frame_->data[1] + at.y / 2 * frame_->linesize[1] + at.x / 2,
                               frame_->data[2] + at.y / 2 * frame_->linesize[2] + at.x / 2};
        sws_scale(sws, src, srcStride, 0, slide->height(), dst, frame_->linesize);
        sws_freeContext(sws);
        return true;
    }
    bool drain(std::vector<Packet>& out) {
        for (;;) {
            const int r = avcodec_receive_packet(c_.get(), pkt_);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
            if (r < 0) return false;
            Packet p;
            p.data.assign(pkt_->data, pkt_->data + pkt_->size);
            p.pts = pkt_->pts;
            p.key = (pkt_->flags & AV_PKT_FLAG_KEY) != 0;
            out.push_back(std::move(p));
            av_packet_unref(pkt_);
        }
    }

    Size size_;
    std::set<std::string> unreadable_;
    std::vector<std::string> problems_;
    CodecPtr c_;
    AVFrame* frame_ = nullptr;
    AVPacket* pkt_ = nullptr;
};

// Runs jobs on `threads` threads; the calling thread reports progress meanwhile.
void runJobs(std::vector<std::function<bool()>>& jobs, unsigned threads,
             const std::function<void(double)>& progress) {
    std::atomic<std::size_t> next = 0, finished = 0;
    std::mutex m;
    std::condition_variable cv;
    auto worker = [&]() {
        for (std::size_t i; (i = next++) < jobs.size();) {
            jobs[i]();
            {
                std::lock_guard lock(m);
                ++finished;
            }
            cv.notify_all();
        }
    };
    std::vector<std::thread> pool;
    const unsigned n =
        std::max(1u, std::min<unsigned>(threads, static_cast<unsigned>(jobs.size())));
    for (unsigned t = 0; t < n; ++t) pool.emplace_back(worker);
    {
        std::unique_lock lock(m);
        while (finished < jobs.size()) {
            cv.wait_for(lock, std::chrono::milliseconds(100));
            if (progress) {
                const double done =
                    static_cast<double>(finished) / static_cast<double>(jobs.size());
                lock.unlock();
                progress(0.9 * done);
                lock.lock();
            }
        }
    }
    for (std::thread& t : pool) t.join();
}

bool writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return !out.fail();
}

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace

void takeJournalChanges(Mp4Job& job, const Journal& journal, std::int32_t maxLines) {
    for (const JournalEntry& e : journal.slides) {
        if (static_cast<std::int32_t>(job.changes.size()) >= maxLines) break;
        job.changes.push_back({e.sample, e.slidePath});
    }
    const bool whole = job.changes.size() == journal.slides.size() && journal.end &&
                       static_cast<std::int32_t>(job.changes.size()) < maxLines;
    job.endSample = whole                 ? journal.end->sample
                    : job.changes.empty() ? 0
                                          : job.changes.back().sample;
}

Size webFrameSize(int slideWidth, int slideHeight) {
    const bool wide =
        static_cast<std::int64_t>(slideWidth) * 3 > static_cast<std::int64_t>(slideHeight) * 4;
    return wide ? Size{1280, 720} : Size{960, 720};
}

Placement fitInside(int slideWidth, int slideHeight, int frameWidth, int frameHeight) {
    if (slideWidth <= 0 || slideHeight <= 0) return {0, 0, frameWidth, frameHeight};
    const double scale = std::min(static_cast<double>(frameWidth) / slideWidth,
                                  static_cast<double>(frameHeight) / slideHeight);
    auto even = [](double v, int most) {
        return std::clamp(2 * static_cast<int>(std::lround(v / 2)), 2, most);
    };
    Placement p;
    p.width = even(slideWidth * scale, frameWidth);
    p.height = even(slideHeight * scale, frameHeight);
    p.x = (frameWidth - p.width) / 4 * 2;
    p.y = (frameHeight - p.height) / 4 * 2;
    return p;
}

Mp4Result writeMp4(const Mp4Job& job) {
    Mp4Result result;
    auto fail = [&](const std::string& file, const std::string& why) {
        result.ok = false;
        result.error = file + ": " + why;
        return result;
    };
    const unsigned threads =
        job.threads != 0 ? job.threads : std::max(1u, std::thread::hardware_concurrency());

    // The sound first: its length can reach past End (the last words).
    WebAudioEncoder audio;
    const bool withSound = !job.narrationPath.empty();
    if (withSound && !audio.prepare(job.narrationPath, threads))
        return fail(job.narrationPath, audio.error());
    std::int64_t end = std::max<std::int64_t>(job.endSample, 1);
    if (withSound) {
        NarrationSamples n;
        if (n.open(job.narrationPath) && n.sampleRate() > 0)
            end = std::max(end, n.length() * kChangeRate / n.sampleRate());
    }
    const std::vector<SlideChange> changes = orderedChanges(job.changes, end);
    if (changes.empty()) return fail(job.outputPath, "the lecture has no slides");

    // The deck's shape: its first slide that can be read.
    Size size{960, 720};
    for (const SlideChange& c : changes) {
        if (std::optional<SlideBitmap> s = readSlidePicture(c.slidePath)) {
            size = webFrameSize(s->width(), s->height());
            break;
        }
    }
    result.width = size.width;
    result.height = size.height;

    SlideEncoder slides;
    std::string error;
    if (!slides.open(size, error)) return fail(job.outputPath, error);
    std::vector<Packet> videoPackets;
    std::atomic<bool> videoOk = true;

    std::vector<std::function<bool()>> jobs;
    jobs.push_back([&]() {
        // The slides are encoded ahead on the frame pipeline's thread, in order; the first
        // failure ends them.
        struct Encoded {
            bool ok = false;
            std::vector<Packet> packets;
        };
        FramePipeline<Encoded> frames(kFramesAhead, [&](std::int32_t i, Encoded& f) {
            const auto at = static_cast<std::size_t>(i);
            if (at == changes.size()) {
                f.ok = slides.flush(f.packets);
                return false;
            }
            f.ok = slides.encode(changes[at].slidePath, changes[at].sample, f.packets);
            return f.ok;
        });
        bool ok = true;
        while (std::optional<Encoded> f = frames.next()) {
            ok = ok && f->ok;
            for (Packet& p : f->packets) videoPackets.push_back(std::move(p));
        }
        ok = ok && videoPackets.size() == changes.size();
        videoOk = ok;
        return ok;
    });
    for (std::size_t i = 0; withSound && i < audio.pieceCount(); ++i)
        jobs.push_back([&audio, i]() { return audio.encodePiece(i); });
    runJobs(jobs, threads, job.progress);
    if (!videoOk) return fail(job.outputPath, "the H.264 encoder failed");
    result.problems = slides.problems();
    for (std::size_t i = 0; i < videoPackets.size(); ++i) {
        const std::int64_t next = i + 1 < videoPackets.size() ? videoPackets[i + 1].pts : end;
        videoPackets[i].duration = std::max<std::int64_t>(1, next - videoPackets[i].pts);
    }
    std::optional<AacTrack> track;
    if (withSound) {
        track = audio.take();
        if (!track) return fail(job.narrationPath, audio.error());
        result.loudnessLufs = track->loudnessLufs;
        result.gainDb = track->gainDb;
        result.limitedSamples = track->limitedSamples;
    }

    std::vector<Chapter> chapters;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const std::int64_t stop = i + 1 < changes.size() ? changes[i + 1].sample : end;
        chapters.push_back({static_cast<double>(changes[i].sample) / kChangeRate,
                            static_cast<double>(stop) / kChangeRate,
                            chapterTitle(changes[i].slidePath, static_cast<int>(i) + 1)});
    }

    // Written under a temporary name and renamed when whole.
    const std::string part = job.outputPath + ".part";
    AVFormatContext* oc = nullptr;
    if (avformat_alloc_output_context2(&oc, nullptr, "mp4", part.c_str()) < 0 || oc == nullptr)
        return fail(job.outputPath, "the MP4 muxer is missing");
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> guard(oc, [](AVFormatContext* f) {
        if (f->pb != nullptr) avio_closep(&f->pb);
        avformat_free_context(f);
    });
    AVStream* vs = avformat_new_stream(oc, nullptr);
    if (vs == nullptr || avcodec_parameters_from_context(vs->codecpar, slides.context()) < 0)
        return fail(job.outputPath, "out of memory");
    vs->time_base = kChangeTimeBase;
    AVStream* as = nullptr;
    if (track) {
        as = avformat_new_stream(oc, nullptr);
        if (as == nullptr) return fail(job.outputPath, "out of memory");
        AVCodecParameters* p = as->codecpar;
        p->codec_type = AVMEDIA_TYPE_AUDIO;
        p->codec_id = AV_CODEC_ID_AAC;
        p->profile = FF_PROFILE_AAC_LOW;
        p->sample_rate = kWebSampleRate;
        av_channel_layout_default(&p->ch_layout, 1);
        p->bit_rate = kWebBitRate;
        p->frame_size = 1024;
        p->initial_padding = track->initialPadding;
        p->extradata = static_cast<std::uint8_t*>(
            av_mallocz(track->extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (p->extradata == nullptr) return fail(job.outputPath, "out of memory");
        std::memcpy(p->extradata, track->extradata.data(), track->extradata.size());
        p->extradata_size = static_cast<int>(track->extradata.size());
        as->time_base = kAudioTimeBase;
    }
    for (std::size_t i = 0; i < chapters.size(); ++i) {
        auto* ch = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (ch == nullptr) return fail(job.outputPath, "out of memory");
        ch->id = static_cast<std::int64_t>(i);
        ch->time_base = kChangeTimeBase;
        ch->start = changes[i].sample;
        ch->end = i + 1 < changes.size() ? changes[i + 1].sample : end;
        av_dict_set(&ch->metadata, "title", chapters[i].title.c_str(), 0);
        int count = static_cast<int>(oc->nb_chapters);
        av_dynarray_add(&oc->chapters, &count, ch);
        oc->nb_chapters = static_cast<unsigned>(count);
        if (oc->chapters == nullptr) return fail(job.outputPath, "out of memory");
    }
    int r = avio_open(&oc->pb, part.c_str(), AVIO_FLAG_WRITE);
    if (r < 0) return fail(job.outputPath, avError(r));
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    r = avformat_write_header(oc, &options);
    av_dict_free(&options);
    if (r < 0) {
        std::filesystem::remove(part);
        return fail(job.outputPath, avError(r));
    }

    // Both streams merged in time order.
    AVPacket* pkt = av_packet_alloc();
    if (pkt == nullptr) return fail(job.outputPath, "out of memory");
    std::size_t vi = 0, ai = 0;
    const std::size_t audioCount = track ? track->packets.size() : 0;
    r = 0;
    while (r >= 0 && (vi < videoPackets.size() || ai < audioCount)) {
        const bool takeVideo =
            ai >= audioCount || (vi < videoPackets.size() &&
                                 av_compare_ts(videoPackets[vi].pts, kChangeTimeBase,
                                               track->packets[ai].pts, kAudioTimeBase) <= 0);
        const std::vector<std::uint8_t>& data =
            takeVideo ? videoPackets[vi].data : track->packets[ai].data;
        if ((r = av_new_packet(pkt, static_cast<int>(data.size()))) < 0) break;
        std::memcpy(pkt->data, data.data(), data.size());
        if (takeVideo) {
            const Packet& v = videoPackets[vi++];
            pkt->stream_index = vs->index;
            pkt->pts = pkt->dts = av_rescale_q(v.pts, kChangeTimeBase, vs->time_base);
            pkt->duration = av_rescale_q(v.duration, kChangeTimeBase, vs->time_base);
            if (v.key) pkt->flags |= AV_PKT_FLAG_KEY;
        } else {
            const AacPacket& a = track->packets[ai++];
            pkt->stream_index = as->index;
            pkt->pts = pkt->dts = av_rescale_q(a.pts, kAudioTimeBase, as->time_base);
            pkt->duration = av_rescale_q(a.duration, kAudioTimeBase, as->time_base);
            pkt->flags |= AV_PKT_FLAG_KEY;
        }
        r = av_write_frame(oc, pkt);
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    if (r >= 0) r = av_write_trailer(oc);
    if (r >= 0) r = avio_closep(&oc->pb);
    if (r < 0) {
        std::filesystem::remove(part);
        return fail(job.outputPath, avError(r));
    }
    guard.reset();

    result.chaptersPath = chaptersPathFor(job.outputPath);
    const std::string vttPart = result.chaptersPath + ".part";
    if (!writeText(vttPart, webVttChapters(chapters))) {
        std::filesystem::remove(part);
        std::filesystem::remove(vttPart);
        return fail(result.chaptersPath, "cannot be written");
    }
    std::error_code ec;
    std::filesystem::rename(part, job.outputPath, ec);
    if (ec) {
        std::filesystem::remove(part);
        std::filesystem::remove(vttPart);
        return fail(job.outputPath, ec.message());
    }
    std::filesystem::rename(vttPart, result.chaptersPath, ec);
    if (ec) return fail(result.chaptersPath, ec.message());
    if (job.progress) job.progress(1.0);
    result.ok = true;
    return result;
}

}  // namespace vorlix
