#include "video/live_sound.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include "video/aac_gain.h"
#include "video/loudness.h"

namespace vorlix {

namespace {

constexpr std::int64_t kFrame = 1024;
constexpr std::uint32_t kVersion = 1;
// Samples kept before a frame and awaited after it, for its true peak's estimate.
constexpr std::size_t kPeakContext = 8;

// A checksum of the narration's sample bytes, so a file of the same name and length recorded
// again is told apart.
class DataHash {
  public:
    void add(std::span<const std::uint8_t> bytes) {
        length_ += bytes.size();
        while (!bytes.empty() && fill_ != 0) take(bytes);
        while (bytes.size() >= 8) {
            std::uint64_t w;
            std::memcpy(&w, bytes.data(), 8);
            mix(w);
            bytes = bytes.subspan(8);
        }
        while (!bytes.empty()) take(bytes);
    }
    std::uint64_t value() const {
        DataHash h = *this;
        h.mix(h.carry_ ^ static_cast<std::uint64_t>(h.fill_) << 56);
        h.mix(length_);
        return h.h_;
    }

  private:
    void take(std::span<const std::uint8_t>& bytes) {
        carry_ |= static_cast<std::uint64_t>(bytes[0]) << (8 * fill_);
        bytes = bytes.subspan(1);
        if (++fill_ == 8) {
            mix(carry_);
            carry_ = 0;
            fill_ = 0;
        }
    }
    void mix(std::uint64_t w) {
        h_ = (h_ ^ w) * 0x9E3779B97F4A7C15ULL;
        h_ ^= h_ >> 29;
    }
    std::uint64_t h_ = 0xCBF29CE484222325ULL;
    std::uint64_t carry_ = 0;
    int fill_ = 0;
    std::uint64_t length_ = 0;
};

// The narration as the recorder writes it: a 44-byte header whose data length grows with every
// append, mono PCM of 8 or 16 bits.
struct PlainWav {
    std::uint32_t rate = 0;
    int bits = 0;
    std::int64_t dataBytes = 0;
};
std::optional<PlainWav> readHeader(std::FILE* f) {
    std::uint8_t h[44];
    if (std::fseek(f, 0, SEEK_SET) != 0 || std::fread(h, 1, 44, f) != 44) return std::nullopt;
    auto le = [&](int at, int n) {
        std::uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = v << 8 | h[at + i];
        return v;
    };
    if (std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 8, "WAVEfmt ", 8) != 0 ||
        std::memcmp(h + 36, "data", 4) != 0 || le(20, 2) != 1 || le(22, 2) != 1)
        return std::nullopt;
    PlainWav w{le(24, 4), static_cast<int>(le(34, 2)), le(40, 4)};
    if ((w.bits != 8 && w.bits != 16) || w.rate == 0) return std::nullopt;
    w.dataBytes -= w.dataBytes % (w.bits / 8);
    return w;
}

void toFloat(std::span<const std::uint8_t> bytes, int bits, std::vector<float>& out) {
    out.clear();
    if (bits == 8) {
        for (std::uint8_t b : bytes) out.push_back((b - 128) / 128.0f);
    } else {
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            out.push_back(static_cast<std::int16_t>(bytes[i + 1] << 8 | bytes[i]) / 32768.0f);
    }
}

// The file beside the narration: records of [tag, size, payload, checksum of the payload].
enum Tag : std::uint32_t {
    kHeader = 1,
    kPackets = 2,
    kPeaks = 3,
    kBlocks = 4,
    kDone = 5,
    kHeard = 6
};

class RecordWriter {
  public:
    bool open(const std::string& path) {
        f_ = std::fopen(path.c_str(), "wb");
        return f_ != nullptr;
    }
    ~RecordWriter() {
        if (f_ != nullptr) std::fclose(f_);
    }
    bool write(Tag tag, const std::vector<std::uint8_t>& payload) {
        DataHash h;
        h.add(payload);
        const std::uint64_t sum = h.value();
        const std::uint32_t head[2] = {tag, static_cast<std::uint32_t>(payload.size())};
        ok_ = ok_ && f_ != nullptr && std::fwrite(head, sizeof head, 1, f_) == 1 &&
              (payload.empty() || std::fwrite(payload.data(), payload.size(), 1, f_) == 1) &&
              std::fwrite(&sum, sizeof sum, 1, f_) == 1;
        return ok_;
    }
    bool close() {
        ok_ = ok_ && f_ != nullptr && std::fclose(f_) == 0;
        f_ = nullptr;
        return ok_;
    }

  private:
    std::FILE* f_ = nullptr;
    bool ok_ = true;
};

template <typename T>
void put(std::vector<std::uint8_t>& out, const T& v) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
    out.insert(out.end(), p, p + sizeof v);
}
template <typename T>
bool get(std::span<const std::uint8_t>& in, T& v) {
    if (in.size() < sizeof v) return false;
    std::memcpy(&v, in.data(), sizeof v);
    in = in.subspan(sizeof v);
    return true;
}

// One encoder over the whole narration at its own level, fed as the narration grows.
class Follower {
  public:
    bool open(std::uint32_t rate, RecordWriter& out) {
        out_ = &out;
        AVChannelLayout mono;
        av_channel_layout_default(&mono, 1);
        std::string error;
        c_ = openWebAacEncoder(error);
        frame_ = av_frame_alloc();
        pkt_ = av_packet_alloc();
        if (!c_ || frame_ == nullptr || pkt_ == nullptr ||
            swr_alloc_set_opts2(&swr_, &mono, AV_SAMPLE_FMT_FLT, kWebSampleRate, &mono,
                                AV_SAMPLE_FMT_FLT, static_cast<int>(rate), 0, nullptr) < 0 ||
            swr_init(swr_) < 0 ||
            !check_.open({c_->extradata, static_cast<std::size_t>(c_->extradata_size)}) ||
            !listen_.open({c_->extradata, static_cast<std::size_t>(c_->extradata_size)}))
            return false;
        rate_ = rate;
        std::vector<std::uint8_t> head;
        put(head, kVersion);
        put(head, static_cast<std::int32_t>(c_->initial_padding));
        head.insert(head.end(), c_->extradata, c_->extradata + c_->extradata_size);
        return out.write(kHeader, head);
    }
    ~Follower() {
        swr_free(&swr_);
        av_frame_free(&frame_);
        av_packet_free(&pkt_);
    }

    bool add(std::span<const float> in) {
        inSamples_ += static_cast<std::int64_t>(in.size());
        const int room = swr_get_out_samples(swr_, static_cast<int>(in.size()));
        const std::size_t at = raw_.size();
        raw_.resize(at + static_cast<std::size_t>(std::max(room, 0)));
        auto* outPlane = reinterpret_cast<std::uint8_t*>(raw_.data() + at);
        const auto* inPlane = reinterpret_cast<const std::uint8_t*>(in.data());
        const int got = swr_convert(swr_, &outPlane, room, &inPlane, static_cast<int>(in.size()));
        if (got < 0) return false;
        raw_.resize(at + static_cast<std::size_t>(got));
        return limitAndEncode(false) && flushRecords(false);
    }

    // The narration's end: exactly as many samples as the whole narration resampled, then the
    // encoder's last packets.
    bool finish(std::int64_t sourceSamples, std::uint64_t sourceHash) {
        const std::int64_t total =
            (sourceSamples * kWebSampleRate + rate_ - 1) / rate_;  // as the web video counts
        const int room = swr_get_out_samples(swr_, 0) + 64;
        const std::size_t at = raw_.size();
        raw_.resize(at + static_cast<std::size_t>(room));
        auto* outPlane = reinterpret_cast<std::uint8_t*>(raw_.data() + at);
        const int got = swr_convert(swr_, &outPlane, room, nullptr, 0);
        if (got < 0) return false;
        raw_.resize(at + static_cast<std::size_t>(got));
        const std::int64_t have = limited_ + static_cast<std::int64_t>(raw_.size() - rawHeld_);
        // (Never more than was resampled: a file with a frame too many is not trusted anyway.)
        raw_.resize(static_cast<std::size_t>(
            std::max<std::int64_t>(static_cast<std::int64_t>(rawHeld_),
                                   static_cast<std::int64_t>(raw_.size()) + total - have)));
        if (!limitAndEncode(true) || avcodec_send_frame(c_.get(), nullptr) < 0 || !drain() ||
            !flushRecords(true))
            return false;
        std::vector<std::uint8_t> done;
        put(done, sourceSamples);
        put(done, sourceHash);
        put(done, total);
        return out_->write(kDone, done);
    }
    std::int64_t inSamples() const { return inSamples_; }

  private:
    // The level the lecture is heading for, from what was heard so far: the frames are encoded
    // at it (a quiet voice at its own level would lose what the encoder deems inaudible there),
    // and the limiter works at one step more, so that the final gain seldom asks for more
    // (where it does, End codes that stretch again). The steps move only when the level so far
    // has moved well past them. The limiter from ten seconds on; before, End limits what needs
    // it.
    void followLevel() {
        if (++frames_ % 24 != 0 || frames_ < 2 * 47) return;
        const double wanted =
            normalisingGainDb(integratedFromBlocks(heardMeter_.blocks())) / kAacGainStepDb;
        if (std::fabs(wanted - steps_) > 0.75)
            steps_ =
                std::clamp(static_cast<int>(std::lround(wanted)), -kMaxGainSteps, kMaxGainSteps);
        // The limiter's step never lags the level: a peak it lets through is coded again at End.
        const int limit = static_cast<int>(std::lround(wanted)) + 1;
        if (frames_ >= 10 * 47 &&
            (!limitSteps_ || limit > *limitSteps_ || limit < *limitSteps_ - 1))
            limitSteps_ = limit;
    }

    // Each chunk is limited, then its frames are encoded before the next chunk is limited, so
    // that the limiter follows the level the frames before it set. The sound coded is then the
    // same however the narration's growth was read.
    bool limitAndEncode(bool last) {
        while (limitChunk(last))
            if (!encodeFrames(false)) return false;
        return encodeFrames(last);
    }

    // raw_ holds rawHeld_ samples already limited (the limiter's memory of recent peaks), then
    // the rest; wave_ receives the next chunk limited, at the narration's own level.
    bool limitChunk(bool last) {
        constexpr std::size_t kChunk = 24 * kFrame, kAhead = kFrame, kMemory = 24000;
        const std::size_t left = raw_.size() - rawHeld_;
        if (left == 0 || (!last && left < kChunk + kAhead)) return false;
        const std::size_t n = std::min(left, kChunk);
        std::vector<float> segment(
            raw_.begin(), raw_.begin() + static_cast<std::ptrdiff_t>(
                                             std::min(raw_.size(), rawHeld_ + n + kAhead)));
        if (limitSteps_) {
            const auto gain = static_cast<float>(std::pow(2.0, *limitSteps_ / 4.0));
            applyGainAndLimit(segment, gain, ceiling_, kWebSampleRate);
            for (float& v : segment) v /= gain;
        }
        wave_.insert(wave_.end(), segment.begin() + static_cast<std::ptrdiff_t>(rawHeld_),
                     segment.begin() + static_cast<std::ptrdiff_t>(rawHeld_ + n));
        limited_ += static_cast<std::int64_t>(n);
        const std::size_t keep = std::min(rawHeld_ + n, kMemory);
        raw_.erase(raw_.begin(), raw_.begin() + static_cast<std::ptrdiff_t>(rawHeld_ + n - keep));
        rawHeld_ = keep;
        return true;
    }

    // wave_ holds held_ samples of context before the next frame, then the frames not yet sent.
    bool encodeFrames(bool last) {
        std::size_t at = held_;
        for (;;) {
            const std::size_t left = wave_.size() - at;
            if (left == 0 || (!last && left < kFrame + kPeakContext)) break;
            const std::size_t n = std::min<std::size_t>(left, kFrame);
            put(peaks_, truePeak(wave_, at, at + n));
            put(peaks_, static_cast<std::int8_t>(steps_));
            stepLog_.push_back(static_cast<std::int8_t>(steps_));
            meter_.add({wave_.data() + at, n});
            frame_->nb_samples = static_cast<int>(n);
            frame_->format = AV_SAMPLE_FMT_FLTP;
            frame_->sample_rate = kWebSampleRate;
            av_channel_layout_default(&frame_->ch_layout, 1);
            frame_->pts = produced_;
            if (av_frame_get_buffer(frame_, 0) < 0) return false;
            const auto gain = static_cast<float>(std::pow(2.0, steps_ / 4.0));
            auto* out = reinterpret_cast<float*>(frame_->data[0]);
            for (std::size_t i = 0; i < n; ++i) out[i] = wave_[at + i] * gain;
            const bool sent = avcodec_send_frame(c_.get(), frame_) >= 0;
            av_frame_unref(frame_);
            if (!sent || !drain()) return false;
            produced_ += static_cast<std::int64_t>(n);
            at += n;
            followLevel();
        }
        const std::size_t keep = std::min(at, kPeakContext);
        wave_.erase(wave_.begin(), wave_.begin() + static_cast<std::ptrdiff_t>(at - keep));
        held_ = keep;
        return true;
    }
    bool drain() {
        for (;;) {
            const int r = avcodec_receive_packet(c_.get(), pkt_);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
            if (r < 0) return false;
            std::uint8_t fits = 1;
            std::vector<std::uint8_t> probe(pkt_->data, pkt_->data + pkt_->size);
            // What a listener hears, at the narration's own level (the AAC coding takes some
            // loudness off, the more the quieter and noisier the recording): the level is set
            // from this. The first 1024 samples are the encoder's priming.
            if (!listen_.decode(probe, heard_)) return false;
            const std::int64_t frame = pkt_->pts / kFrame;  // the frame this packet carries
            if (frame >= 0 && !stepLog_.empty()) {
                const int steps = stepLog_[static_cast<std::size_t>(
                    std::min<std::int64_t>(frame, static_cast<std::int64_t>(stepLog_.size()) - 1))];
                const auto unity = static_cast<float>(std::pow(2.0, -steps / 4.0));
                for (float& v : heard_) v *= unity;
                heardMeter_.add(heard_);
            }
            for (int steps : {kShiftProbeSteps, -kShiftProbeSteps}) {
                std::vector<std::uint8_t> shifted = probe;
                if (!shiftAacGain(shifted, steps) || !check_.decodes(shifted)) fits = 0;
            }
            put(packets_, static_cast<std::int64_t>(pkt_->pts));
            put(packets_, static_cast<std::int32_t>(pkt_->duration));
            put(packets_, static_cast<std::int32_t>(pkt_->size));
            packets_.push_back(fits);
            packets_.insert(packets_.end(), probe.begin(), probe.end());
            ++packetCount_;
            av_packet_unref(pkt_);
        }
    }
    // Written about once a second of sound, so little is lost to a crash.
    bool flushRecords(bool all) {
        if (!all && packetCount_ < 48) return true;
        std::vector<std::uint8_t> blocks;
        const std::vector<double>& b = meter_.blocks();
        for (std::size_t i = blocksWritten_; i < b.size(); ++i) put(blocks, b[i]);
        blocksWritten_ = b.size();
        std::vector<std::uint8_t> heard;
        const std::vector<double>& h = heardMeter_.blocks();
        for (std::size_t i = heardWritten_; i < h.size(); ++i) put(heard, h[i]);
        heardWritten_ = h.size();
        const bool ok = out_->write(kPackets, packets_) && out_->write(kPeaks, peaks_) &&
                        out_->write(kBlocks, blocks) && out_->write(kHeard, heard);
        packets_.clear();
        peaks_.clear();
        packetCount_ = 0;
        return ok;
    }

    RecordWriter* out_ = nullptr;
    AacCodecPtr c_;
    AacFrameCheck check_;
    SwrContext* swr_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* pkt_ = nullptr;
    BlockMeter meter_{kWebSampleRate};
    std::uint32_t rate_ = 0;
    std::int64_t inSamples_ = 0;
    std::int64_t produced_ = 0;
    std::vector<float> raw_;
    std::size_t rawHeld_ = 0;
    std::int64_t limited_ = 0;
    int steps_ = 0;                  // the level frames are encoded at, in gain steps
    std::optional<int> limitSteps_;  // the limiter's, once the level is known
    std::int64_t frames_ = 0;
    const float ceiling_ = static_cast<float>(dbToLinear(kLimiterCeilingDbtp));
    std::vector<float> wave_;
    std::size_t held_ = 0;
    std::vector<std::uint8_t> packets_;
    std::size_t packetCount_ = 0;
    std::vector<std::uint8_t> peaks_;
    std::size_t blocksWritten_ = 0;
    AacFrameCheck listen_;
    std::vector<float> heard_;
    BlockMeter heardMeter_{kWebSampleRate};
    std::size_t heardWritten_ = 0;
    std::vector<std::int8_t> stepLog_;
};

}  // namespace

std::string encodedNarrationPath(std::string_view narrationPath) {
    std::string p(narrationPath);
    if (p.ends_with(".wav")) p.resize(p.size() - 4);
    return p + ".sound";
}

LiveSoundEncoder::~LiveSoundEncoder() {
    stop(false);
}

void LiveSoundEncoder::start(const std::string& narrationPath) {
    stop(false);
    const std::string wide = wideNarrationSibling(narrationPath);
    std::error_code ec;
    const std::string source = std::filesystem::is_regular_file(wide, ec) ? wide : narrationPath;
    stopping_ = complete_ = false;
    ok_ = false;
    thread_ =
        std::thread(&LiveSoundEncoder::run, this, source, encodedNarrationPath(narrationPath));
}

bool LiveSoundEncoder::finish() {
    const bool running = thread_.joinable();
    stop(true);
    return running && ok_;
}

void LiveSoundEncoder::stop(bool complete) {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(m_);
        stopping_ = true;
        complete_ = complete;
    }
    cv_.notify_all();
    thread_.join();
}

void LiveSoundEncoder::run(std::string source, std::string output) {
    std::FILE* in = std::fopen(source.c_str(), "rb");
    if (in == nullptr) return;
    // Unbuffered: the header is read again each time, never from a buffer of an earlier read.
    std::setvbuf(in, nullptr, _IONBF, 0);
    RecordWriter out;
    Follower follower;
    std::optional<PlainWav> wav = readHeader(in);
    bool ok = wav && out.open(output) && follower.open(wav->rate, out);
    DataHash hash;
    std::int64_t read = 0;  // sample bytes
    std::vector<std::uint8_t> bytes;
    std::vector<float> samples;
    bool last = false;
    while (ok) {
        {
            std::unique_lock lock(m_);
            last = stopping_;
            if (last && !complete_) break;
        }
        // After End the narration is finished: what its header holds now is all of it.
        wav = readHeader(in);
        ok = wav.has_value();
        const std::int64_t available = wav ? wav->dataBytes - read : 0;
        if (ok && available > 0) {
            bytes.resize(static_cast<std::size_t>(std::min<std::int64_t>(available, 1 << 18)));
            ok = std::fseek(in, 44 + static_cast<long>(read), SEEK_SET) == 0 &&
                 std::fread(bytes.data(), bytes.size(), 1, in) == 1;
            if (!ok) break;
            read += static_cast<std::int64_t>(bytes.size());
            hash.add(bytes);
            toFloat(bytes, wav->bits, samples);
            ok = follower.add(samples);
            continue;
        }
        if (last) {
            ok = ok && follower.finish(read / (wav->bits / 8), hash.value()) && out.close();
            break;
        }
        std::unique_lock lock(m_);
        cv_.wait_for(lock, std::chrono::milliseconds(200), [this] { return stopping_; });
    }
    std::fclose(in);
    ok_ = ok && last && complete_;
}

std::optional<EncodedNarration> readEncodedNarration(const std::string& narrationPath) {
    std::FILE* f = std::fopen(encodedNarrationPath(narrationPath).c_str(), "rb");
    if (f == nullptr) return std::nullopt;
    std::vector<std::uint8_t> all;
    {
        std::uint8_t buffer[1 << 16];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
            all.insert(all.end(), buffer, buffer + n);
        std::fclose(f);
    }
    EncodedNarration e;
    std::span<const std::uint8_t> rest(all);
    std::int64_t sourceSamples = -1;
    std::uint64_t sourceHash = 0;
    bool headed = false;
    while (!rest.empty() && sourceSamples < 0) {
        std::uint32_t tag = 0, size = 0;
        std::uint64_t sum = 0;
        if (!get(rest, tag) || !get(rest, size) || rest.size() < size + sizeof sum)
            return std::nullopt;
        std::span<const std::uint8_t> payload = rest.first(size);
        rest = rest.subspan(size);
        get(rest, sum);
        DataHash h;
        h.add(payload);
        if (h.value() != sum || (tag != kHeader) != headed) return std::nullopt;
        switch (tag) {
            case kHeader: {
                std::uint32_t version = 0;
                std::int32_t padding = 0;
                if (!get(payload, version) || version != kVersion || !get(payload, padding))
                    return std::nullopt;
                e.initialPadding = padding;
                e.extradata.assign(payload.begin(), payload.end());
                headed = true;
                break;
            }
            case kPackets:
                while (!payload.empty()) {
                    AacPacket p;
                    std::int32_t duration = 0, bytes = 0;
                    std::uint8_t fits = 0;
                    if (!get(payload, p.pts) || !get(payload, duration) || !get(payload, bytes) ||
                        !get(payload, fits) || bytes < 0 || payload.size() < std::size_t(bytes))
                        return std::nullopt;
                    p.duration = duration;
                    p.data.assign(payload.begin(), payload.begin() + bytes);
                    payload = payload.subspan(static_cast<std::size_t>(bytes));
                    e.packets.push_back(std::move(p));
                    e.shiftable.push_back(fits);
                }
                break;
            case kPeaks:
                for (float v; get(payload, v);) {
                    std::int8_t steps = 0;
                    if (!get(payload, steps)) return std::nullopt;
                    e.framePeaks.push_back(v);
                    e.frameSteps.push_back(steps);
                }
                break;
            case kHeard:
                for (double v; get(payload, v);) e.heard.push_back(v);
                break;
            case kBlocks:
                for (double v; get(payload, v);) e.blocks.push_back(v);
                break;
            case kDone:
                if (!get(payload, sourceSamples) || !get(payload, sourceHash) ||
                    !get(payload, e.samples) || sourceSamples < 0)
                    return std::nullopt;
                break;
            default:
                return std::nullopt;
        }
    }
    // Complete, and every count as one encoder over the whole narration gives it.
    const std::int64_t frames = (e.samples + kFrame - 1) / kFrame;
    e.heard.resize(e.blocks.size(), 0.0);  // the last blocks' sound is still in the decoder
    if (sourceSamples < 0 || static_cast<std::int64_t>(e.framePeaks.size()) != frames ||
        static_cast<std::int64_t>(e.packets.size()) != frames + 1)
        return std::nullopt;

    // The narration the web video reads, sample for sample.
    NarrationSamples narration;
    if (!narration.open(narrationPath)) return std::nullopt;
    std::FILE* n = std::fopen(narration.path().c_str(), "rb");
    if (n == nullptr) return std::nullopt;
    const std::optional<PlainWav> wav = readHeader(n);
    bool same = wav && wav->dataBytes / (wav->bits / 8) == sourceSamples &&
                (sourceSamples * kWebSampleRate + wav->rate - 1) / wav->rate == e.samples;
    DataHash hash;
    std::vector<std::uint8_t> bytes(1 << 20);
    for (std::int64_t left = same ? wav->dataBytes : 0; same && left > 0;) {
        const auto size = static_cast<std::size_t>(std::min<std::int64_t>(left, 1 << 20));
        same = std::fread(bytes.data(), size, 1, n) == 1;
        hash.add({bytes.data(), size});
        left -= static_cast<std::int64_t>(size);
    }
    std::fclose(n);
    if (!same || hash.value() != sourceHash) return std::nullopt;
    return e;
}

}  // namespace vorlix
