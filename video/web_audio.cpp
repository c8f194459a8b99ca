#include "video/web_audio.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numeric>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "video/aac_gain.h"
#include "video/live_sound.h"
#include "video/loudness.h"

namespace vorlix {

namespace {

constexpr std::int64_t kFrame = 1024;
// Frames each piece's encoder runs ahead of its first kept frame: enough for the resampler, the
// limiter's release and the encoder's window choice to settle as a single encoder's would have.
constexpr std::int64_t kLeadFrames = 8;
// Frames encoded past a piece's last kept frame, so that frame sees what follows it.
constexpr std::int64_t kTailFrames = 2;
constexpr double kPieceSeconds = 60;
// Around a peak the limiter takes down: its look-ahead and the encoder's choice of short
// windows before it, and its release (about half a second) after.
constexpr std::int64_t kPeakLeadPackets = 4;
constexpr std::int64_t kPeakTailPackets = 28;
// A peak the limiter held while recording may read a little over the ceiling once the held
// stretch is sampled again (0.2 dB): the ceiling keeps 1 dB below the limit for such.
constexpr float kPeakTolerance = 1.025f;
// Where a cut may move to find a quiet moment.
constexpr double kCutSearchSeconds = 5;

}  // namespace

std::string wideNarrationSibling(std::string_view narrationPath) {
    std::string p(narrationPath);
    const std::string_view ext = ".wav";
    if (p.size() >= ext.size() && p.compare(p.size() - ext.size(), ext.size(), ext) == 0)
        p.resize(p.size() - ext.size());
    return p + ".s16.wav";
}

bool NarrationSamples::open(const std::string& path) {
    const std::string wide = wideNarrationSibling(path);
    std::error_code ec;
    if (std::filesystem::is_regular_file(wide, ec) && source_.open(wide) &&
        source_.format().bitsPerSample == 16) {
        path_ = wide;
        return true;
    }
    path_ = path;
    return source_.open(path);
}

bool NarrationSamples::read(std::int64_t position, std::span<float> out) {
    std::fill(out.begin(), out.end(), 0.0f);
    const AudioFormat& f = source_.format();
    const std::int64_t want = std::min<std::int64_t>(
        static_cast<std::int64_t>(out.size()), std::max<std::int64_t>(0, length() - position));
    if (want <= 0) return true;
    AudioSource::ReadSize size = source_.readSize(position, want);
    bytes_.resize(static_cast<std::size_t>(size.bytes));
    std::int64_t got = source_.read(position, want, bytes_);
    if (got < 0) return false;
    const int bytes = f.bitsPerSample / 8;
    const float mix = 1.0f / static_cast<float>(f.channels);
    for (std::int64_t i = 0; i < got; ++i) {
        float sum = 0;
        for (int ch = 0; ch < f.channels; ++ch) {
            const std::uint8_t* s = bytes_.data() + i * f.blockAlign + ch * bytes;
            float v = 0;
            if (f.formatTag == 3 && bytes == 4) {
                std::memcpy(&v, s, 4);
            } else if (bytes == 1) {
                v = (s[0] - 128) / 128.0f;
            } else {
                // Signed little-endian of 2 to 4 bytes: the top two bytes are enough.
                const auto top = static_cast<std::int16_t>(s[bytes - 1] << 8 | s[bytes - 2]);
                v = top / 32768.0f;
            }
            sum += v;
        }
        out[static_cast<std::size_t>(i)] = sum * mix;
    }
    return true;
}

namespace {

// Loudness of a narration as it stands (no gain) or, with a gain, the loudness the limiter takes
// off at that gain: measured on one ten-second block in `stride`, before and after it.
struct Measured {
    double before = 0, after = 0;
};
std::optional<Measured> measureBlocks(const std::string& path, unsigned threads,
                                      std::optional<double> gainDb, std::int64_t stride) {
    NarrationSamples probe;
    if (!probe.open(path)) return std::nullopt;
    const std::uint32_t rate = probe.sampleRate();
    const std::int64_t length = probe.length();
    const std::int64_t blockSize = 10 * static_cast<std::int64_t>(rate);
    threads = std::max(1u, threads);
    std::vector<std::unique_ptr<LoudnessMeter>> before, after;
    for (unsigned t = 0; t < threads; ++t) {
        before.push_back(std::make_unique<LoudnessMeter>(rate));
        after.push_back(std::make_unique<LoudnessMeter>(rate));
    }
    std::atomic<bool> failed = false;
    const float gain = gainDb ? static_cast<float>(dbToLinear(*gainDb)) : 1.0f;
    const float ceiling = static_cast<float>(dbToLinear(kLimiterCeilingDbtp));
    auto work = [&](unsigned t) {
        NarrationSamples in;
        if (!in.open(probe.path())) {
            failed = true;
            return;
        }
        // Consecutive runs of blocks; the gating blocks of all runs are pooled in the end.
        const std::int64_t blocks = (length + blockSize - 1) / blockSize;
        std::vector<float> block(static_cast<std::size_t>(blockSize));
        for (std::int64_t b = blocks * t / threads; b < blocks * (t + 1) / threads; ++b) {
            if (b % stride != 0) continue;
            const auto n = static_cast<std::size_t>(std::min(blockSize, length - b * blockSize));
            std::span<float> x(block.data(), n);
            if (!in.read(b * blockSize, x)) {
                failed = true;
                return;
            }
            before[t]->add(x);
            if (!gainDb) continue;
            applyGainAndLimit(x, gain, ceiling, rate);
            after[t]->add(x);
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work, t);
    work(0);
    for (std::thread& t : pool) t.join();
    if (failed) return std::nullopt;
    auto pooled = [](const std::vector<std::unique_ptr<LoudnessMeter>>& meters) {
        std::vector<LoudnessMeter*> parts;
        for (const auto& m : meters) parts.push_back(m.get());
        return LoudnessMeter::integrated(parts);
    };
    return Measured{pooled(before), gainDb ? pooled(after) : 0.0};
}

}  // namespace

std::optional<double> WebAudioEncoder::measure(const std::string& narrationPath, unsigned threads) {
    const std::optional<Measured> m = measureBlocks(narrationPath, threads, std::nullopt, 1);
    return m ? std::optional<double>(m->before) : std::nullopt;
}

bool WebAudioEncoder::prepare(const std::string& narrationPath, unsigned threads) {
    NarrationSamples in;
    if (!in.open(narrationPath)) {
        error_ = "cannot read the narration " + narrationPath;
        return false;
    }
    path_ = in.path();
    inRate_ = in.sampleRate();
    inLength_ = in.length();
    outLength_ =
        (inLength_ * kWebSampleRate + inRate_ - 1) / inRate_;  // no overflow below 5000 years
    // A single encoder gives one packet per started frame and one more for its delay.
    packetCount_ = (outLength_ + kFrame - 1) / kFrame + 1;
    // Output samples per whole number of input samples, and frames per whole number of those.
    const std::int64_t step = kWebSampleRate / std::gcd<std::int64_t>(kWebSampleRate, inRate_);
    alignFrames_ = std::lcm(step, kFrame) / kFrame;

    threads_ = std::max(1u, threads);
    AacCodecPtr probe = openWebAacEncoder(error_);
    if (!probe) return false;
    extradata_.assign(probe->extradata, probe->extradata + probe->extradata_size);
    initialPadding_ = probe->initial_padding;

    // Encoded while recording: only its level is left to set (in take).
    pieces_.clear();
    encoded_.reset();
    if (std::optional<EncodedNarration> e = readEncodedNarration(narrationPath);
        e && e->extradata == extradata_ && e->initialPadding == initialPadding_ &&
        e->samples == outLength_) {
        encoded_ = std::make_shared<EncodedNarration>(std::move(*e));
        return true;
    }

    const std::optional<double> loudnessLufs = measure(narrationPath, threads);
    if (!loudnessLufs) {
        error_ = "cannot read the narration " + path_;
        return false;
    }
    loudness_ = *loudnessLufs;
    gain_ = static_cast<float>(dbToLinear(settleGain(loudness_, threads)));
    planPieces(threads);
    return true;
}

double WebAudioEncoder::settleGain(double loudness, unsigned threads) {
    // The limiter takes some loudness off a peaky voice (more the higher the gain): measure what
    // it takes and correct the one gain, twice at most (the second time along the line through
    // both measurements). A quarter of the lecture, spread over all of it, tells the loss well.
    constexpr double kClose = 0.2;
    const std::int64_t stride = inLength_ > 40LL * inRate_ ? 4 : 1;
    const double g0 = normalisingGainDb(loudness);
    if (g0 == 0.0 && !(std::isfinite(loudness) && std::fabs(loudness - kTargetLoudnessLufs) < 1))
        return 0.0;  // silence: nothing to bring up
    auto after = [&](double gainDb) -> std::optional<double> {
        const std::optional<Measured> m = measureBlocks(path_, threads, gainDb, stride);
        if (!m || !std::isfinite(m->before) || !std::isfinite(m->after)) return std::nullopt;
        return loudness + gainDb - (m->before + gainDb - m->after);
    };
    const std::optional<double> l0 = after(g0);
    if (!l0 || std::fabs(*l0 - kTargetLoudnessLufs) < kClose) return g0;
    const double g1 = std::min(g0 + (kTargetLoudnessLufs - *l0), kMaxGainDb);
    const std::optional<double> l1 = after(g1);
    if (!l1 || std::fabs(*l1 - kTargetLoudnessLufs) < kClose || std::fabs(*l1 - *l0) < 0.01)
        return g1;
    // Loudness grows by less than the gain where the limiter works harder: 0.2 to 1 dB a dB.
    const double slope = std::clamp((*l1 - *l0) / (g1 - g0), 0.2, 1.0);
    const double delta = kTargetLoudnessLufs - *l1;
    return std::min(g1 + std::clamp(delta / slope, -3 * std::fabs(delta), 3 * std::fabs(delta)),
                    kMaxGainDb);
}

void WebAudioEncoder::planPieces(unsigned threads) {
    pieces_.clear();
    const double seconds = static_cast<double>(outLength_) / kWebSampleRate;
    std::int64_t count = static_cast<std::int64_t>(std::ceil(seconds / kPieceSeconds));
    if (seconds >= 20) count = std::max<std::int64_t>(count, threads);
    // Every piece needs room for its lead-in and a search window.
    const std::int64_t minPackets = 4 * (kLeadFrames + alignFrames_ + kTailFrames);
    count =
        std::clamp<std::int64_t>(count, 1, std::max<std::int64_t>(1, packetCount_ / minPackets));

    NarrationSamples in;
    const bool canSearch = in.open(path_);
    const auto search = static_cast<std::int64_t>(kCutSearchSeconds * kWebSampleRate / kFrame);
    const double ratio = static_cast<double>(inRate_) / kWebSampleRate;
    std::vector<std::int64_t> cuts{0};
    for (std::int64_t s = 1; s < count; ++s) {
        const std::int64_t nominal = packetCount_ * s / count;
        const std::int64_t lo = std::max(cuts.back() + minPackets / 2, nominal - search);
        const std::int64_t hi = std::min(packetCount_ - minPackets / 2, nominal + search);
        std::int64_t best = std::clamp(nominal, lo, std::max(lo, hi));
        if (canSearch && hi > lo) {
            // The joint of frames j - 1 and j spans the output [(j - 3), (j + 1)) x 1024: cut
            // where that stretch is quietest, so any difference at the joint is inaudible.
            const std::int64_t firstFrame = lo - 3, frames = hi - lo + 4;
            const auto from =
                static_cast<std::int64_t>(static_cast<double>(firstFrame * kFrame) * ratio);
            std::vector<float> wave(
                static_cast<std::size_t>(static_cast<double>(frames * kFrame) * ratio) + 1);
            if (in.read(std::max<std::int64_t>(0, from), wave)) {
                std::vector<double> energy(static_cast<std::size_t>(frames), 0);
                for (std::size_t i = 0; i < wave.size(); ++i) {
                    const auto f =
                        static_cast<std::size_t>(static_cast<double>(i) / ratio / kFrame);
                    if (f < energy.size()) energy[f] += wave[i] * wave[i];
                }
                double quietest = INFINITY;
                for (std::int64_t j = lo; j < hi; ++j) {
                    const auto f = static_cast<std::size_t>(j - lo);
                    const double e = energy[f] + energy[f + 1] + energy[f + 2] + energy[f + 3];
                    if (e < quietest) {
                        quietest = e;
                        best = j;
                    }
                }
            }
        }
        cuts.push_back(best);
    }
    cuts.push_back(packetCount_);
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        Piece p;
        p.firstPacket = cuts[i];
        p.endPacket = cuts[i + 1];
        pieces_.push_back(std::move(p));
    }
}

bool WebAudioEncoder::encodePiece(std::size_t index) {
    Piece& piece = pieces_.at(index);
    if (!encodeRange(piece, gain_)) return false;
    piece.done = true;
    return true;
}

bool WebAudioEncoder::encodeRange(Piece& piece, float gain, Blocks* blocks) const {
    // Output samples [o0, o1) of the whole narration at 48 kHz go through this piece's encoder.
    std::int64_t startFrame = 0;
    if (piece.firstPacket > 0) {
        startFrame = std::max<std::int64_t>(0, piece.firstPacket - kLeadFrames);
        startFrame -= startFrame % alignFrames_;
    }
    const std::int64_t o0 = startFrame * kFrame;
    const bool last = piece.endPacket >= packetCount_;
    const std::int64_t o1 =
        last ? outLength_ : std::min(outLength_, (piece.endPacket + kTailFrames) * kFrame);
    const std::int64_t i0 = o0 * inRate_ / kWebSampleRate;  // exact: o0 is aligned

    NarrationSamples in;
    if (!in.open(path_)) {
        piece.error = "cannot read the narration " + path_;
        return false;
    }
    std::vector<float> wave(static_cast<std::size_t>(o1 - o0), 0.0f);
    {
        SwrContext* swr = nullptr;
        AVChannelLayout mono;
        av_channel_layout_default(&mono, 1);
        if (swr_alloc_set_opts2(&swr, &mono, AV_SAMPLE_FMT_FLT, kWebSampleRate, &mono,
                                AV_SAMPLE_FMT_FLT, static_cast<int>(inRate_), 0, nullptr) < 0 ||
            swr_init(swr) < 0) {
            swr_free(&swr);
            piece.error = "the resampler cannot be set up";
            return false;
        }
        std::vector<float> block(32768);
        std::int64_t at = i0, produced = 0;
        const std::int64_t total = static_cast<std::int64_t>(wave.size());
        while (produced < total) {
            const bool more = at < inLength_;
            int n = 0;
            if (more) {
                n = static_cast<int>(std::min<std::int64_t>(static_cast<std::int64_t>(block.size()),
                                                            inLength_ - at));
                if (!in.read(at, {block.data(), static_cast<std::size_t>(n)})) {
                    swr_free(&swr);
                    piece.error = "cannot read the narration " + path_;
                    return false;
                }
                at += n;
            }
            std::uint8_t* outPlane = reinterpret_cast<std::uint8_t*>(wave.data() + produced);
            const std::uint8_t* inPlane = reinterpret_cast<const std::uint8_t*>(block.data());
            const int room = static_cast<int>(std::min<std::int64_t>(total - produced, 1 << 20));
            const int got = swr_convert(swr, &outPlane, room, more ? &inPlane : nullptr, n);
            if (got < 0) {
                swr_free(&swr);
                piece.error = "the resampler failed";
                return false;
            }
            produced += got;
            if (!more && got == 0) break;  // drained: the rest stays silent
        }
        swr_free(&swr);
    }
    piece.limited = applyGainAndLimit(
        wave, gain, static_cast<float>(dbToLinear(kLimiterCeilingDbtp)), kWebSampleRate);
    if (blocks != nullptr) {
        // Only the level: the gating blocks wholly inside the frames of the kept packets.
        constexpr std::int64_t kStep = kWebSampleRate / BlockMeter::kBlocksPerSecond;
        const std::int64_t from = std::max<std::int64_t>(0, piece.firstPacket - 1) * kFrame;
        const std::int64_t to = std::min(o1, (piece.endPacket - 1) * kFrame);
        const std::int64_t g0 = (o0 + kStep - 1) / kStep * kStep;
        BlockMeter meter(kWebSampleRate);
        if (g0 < o1) meter.add({wave.data() + (g0 - o0), static_cast<std::size_t>(o1 - g0)});
        for (std::size_t b = 0; b < meter.blocks().size(); ++b) {
            const std::int64_t end = g0 + (static_cast<std::int64_t>(b) + 4) * kStep;
            if (end - 4 * kStep >= from && end <= to)
                blocks->push_back({end / kStep - 4, meter.blocks()[b]});
        }
        return true;
    }

    AacCodecPtr c = openWebAacEncoder(piece.error);
    if (!c) return false;
    AVFrame* frame = av_frame_alloc();
    AVPacket* pkt = av_packet_alloc();
    bool ok = frame != nullptr && pkt != nullptr;
    auto drain = [&]() {
        while (ok) {
            const int r = avcodec_receive_packet(c.get(), pkt);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
            if (r < 0) {
                ok = false;
                return;
            }
            // The packet for the frame at pts p carries pts p - priming: global index pts/1024+1.
            const std::int64_t j = pkt->pts / kFrame + 1;
            if (j >= piece.firstPacket && j < piece.endPacket) {
                AacPacket out;
                out.data.assign(pkt->data, pkt->data + pkt->size);
                out.pts = pkt->pts;
                out.duration = pkt->duration;
                piece.packets.push_back(std::move(out));
            }
            av_packet_unref(pkt);
        }
    };
    for (std::int64_t at = 0; ok && at < static_cast<std::int64_t>(wave.size()); at += kFrame) {
        frame->nb_samples = static_cast<int>(
            std::min<std::int64_t>(kFrame, static_cast<std::int64_t>(wave.size()) - at));
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->sample_rate = kWebSampleRate;
        av_channel_layout_default(&frame->ch_layout, 1);
        frame->pts = o0 + at;
        if (av_frame_get_buffer(frame, 0) < 0) {
            ok = false;
            break;
        }
        std::memcpy(frame->data[0], wave.data() + at,
                    sizeof(float) * static_cast<std::size_t>(frame->nb_samples));
        ok = avcodec_send_frame(c.get(), frame) >= 0;
        av_frame_unref(frame);
        drain();
    }
    if (ok) {
        ok = avcodec_send_frame(c.get(), nullptr) >= 0;
        drain();
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    if (ok &&
        static_cast<std::int64_t>(piece.packets.size()) != piece.endPacket - piece.firstPacket) {
        ok = false;
    }
    if (!ok) {
        piece.error = "the AAC encoder failed";
        piece.packets.clear();
        return false;
    }
    return true;
}

std::vector<WebAudioEncoder::Piece> WebAudioEncoder::stretches(const std::vector<char>& again) {
    std::vector<Piece> out;
    const auto count = static_cast<std::int64_t>(again.size());
    for (std::int64_t j = 0; j < count;) {
        if (!again[static_cast<std::size_t>(j)]) {
            ++j;
            continue;
        }
        std::int64_t end = j;
        // Runs close together are coded as one: the lead-in would cost more than the gap.
        for (std::int64_t gap = 0; end < count && gap <= 2 * kLeadFrames; ++end)
            gap = again[static_cast<std::size_t>(end)] ? 0 : gap + 1;
        while (!again[static_cast<std::size_t>(end - 1)]) --end;
        Piece p;
        p.firstPacket = j;
        p.endPacket = end;
        out.push_back(std::move(p));
        j = end;
    }
    return out;
}

bool WebAudioEncoder::runRanges(std::vector<Piece>& pieces, float gain,
                                std::vector<Blocks>* blocks) {
    if (blocks != nullptr) blocks->assign(pieces.size(), {});
    std::atomic<std::size_t> next = 0;
    std::atomic<bool> failed = false;
    auto work = [&]() {
        for (std::size_t i; (i = next++) < pieces.size();)
            if (!encodeRange(pieces[i], gain, blocks != nullptr ? &(*blocks)[i] : nullptr))
                failed = true;
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads_ && t < pieces.size(); ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
    for (const Piece& p : pieces)
        if (!p.error.empty()) error_ = p.error;
    return !failed;
}

std::optional<AacTrack> WebAudioEncoder::takeEncoded() {
    EncodedNarration& e = *encoded_;
    AacTrack track;
    track.extradata = extradata_;
    track.initialPadding = initialPadding_;
    track.samples = outLength_;
    track.loudnessLufs = integratedFromBlocks(e.blocks);
    const auto count = static_cast<std::int64_t>(e.packets.size());
    const auto ceiling = static_cast<float>(dbToLinear(kLimiterCeilingDbtp));
    auto gainOf = [](int steps) { return static_cast<float>(dbToLinear(steps * kAacGainStepDb)); };
    // Packets coded again from the narration where the limiter must work at this gain: from a
    // little before a peak to the end of its release.
    auto peaksAt = [&](int steps) {
        std::vector<char> again(static_cast<std::size_t>(count), 0);
        for (std::size_t f = 0; f < e.framePeaks.size(); ++f) {
            if (e.framePeaks[f] * gainOf(steps) <= ceiling * kPeakTolerance) continue;
            const auto j = static_cast<std::int64_t>(f) + 1;  // the packet that carries frame f
            for (std::int64_t k = std::max<std::int64_t>(0, j - kPeakLeadPackets);
                 k < std::min(count, j + kPeakTailPackets); ++k)
                again[static_cast<std::size_t>(k)] = 1;
        }
        return again;
    };
    // The lecture's loudness at this gain, the stretches coded again measured as limited.
    auto loudnessAt = [&](int steps) -> std::optional<double> {
        std::vector<Piece> ranges = stretches(peaksAt(steps));
        const double g2 = std::pow(static_cast<double>(gainOf(steps)), 2);
        std::vector<double> blocks(e.heard);
        for (double& b : blocks) b *= g2;
        std::vector<Blocks> measured;
        if (!runRanges(ranges, gainOf(steps), &measured)) return std::nullopt;
        // A stretch coded again loses to the coding what the same stretch lost before.
        for (const Blocks& m : measured) {
            for (const auto& [index, energy] : m) {
                if (index < 0 || index >= static_cast<std::int64_t>(blocks.size())) continue;
                const auto i = static_cast<std::size_t>(index);
                blocks[i] = e.blocks[i] > 0 ? energy * e.heard[i] / e.blocks[i] : energy;
            }
        }
        return integratedFromBlocks(blocks);
    };

    // The one gain, to the nearest step the frames' own gain can take; one step more when the
    // limiter takes so much off that the lecture would end up nearer the target.
    const double wanted = normalisingGainDb(integratedFromBlocks(e.heard));
    int steps = std::clamp(static_cast<int>(std::lround(wanted / kAacGainStepDb)), -kMaxGainSteps,
                           kMaxGainSteps);
    if (wanted != 0.0) {
        const std::optional<double> at = loudnessAt(steps);
        if (!at) return std::nullopt;
        if (*at < kTargetLoudnessLufs - kAacGainStepDb / 2 && steps < kMaxGainSteps) {
            const std::optional<double> up = loudnessAt(steps + 1);
            if (!up) return std::nullopt;
            if (std::fabs(*up - kTargetLoudnessLufs) < std::fabs(*at - kTargetLoudnessLufs))
                ++steps;
        }
    }
    track.gainDb = steps * kAacGainStepDb;

    // The other packets shifted from the level they were encoded at to the final one. Coded
    // again: a packet whose frames were encoded at two levels, and one that would not decode
    // shifted.
    std::vector<char> again = peaksAt(steps);
    const auto frames = static_cast<std::int64_t>(e.frameSteps.size());
    auto stepOf = [&](std::int64_t f) {
        return static_cast<int>(
            e.frameSteps[static_cast<std::size_t>(std::clamp<std::int64_t>(f, 0, frames - 1))]);
    };
    AacFrameCheck check;
    bool checkOpen = false;
    for (std::int64_t j = 0; j < count; ++j) {
        const auto i = static_cast<std::size_t>(j);
        if (again[i]) continue;
        const int encodedAt = stepOf(j - 1), shift = steps - encodedAt;
        if (stepOf(j - 2) != encodedAt || stepOf(j) != encodedAt) {
            again[i] = 1;
            continue;
        }
        if (shift == 0) continue;
        std::vector<std::uint8_t> shifted = e.packets[i].data;
        bool ok = shiftAacGain(shifted, shift);
        if (ok && (!e.shiftable[i] || std::abs(shift) > kShiftProbeSteps)) {
            if (!checkOpen) checkOpen = check.open(extradata_);
            ok = checkOpen && check.decodes(shifted);
        }
        if (ok)
            e.packets[i].data = std::move(shifted);
        else
            again[i] = 1;
    }
    std::vector<Piece> ranges = stretches(again);
    if (!runRanges(ranges, gainOf(steps), nullptr)) return std::nullopt;
    for (Piece& r : ranges) {
        track.limitedSamples += r.limited;
        for (std::int64_t j = r.firstPacket; j < r.endPacket; ++j)
            e.packets[static_cast<std::size_t>(j)] =
                std::move(r.packets[static_cast<std::size_t>(j - r.firstPacket)]);
    }
    track.packets = std::move(e.packets);
    encoded_.reset();
    return track;
}

std::optional<AacTrack> WebAudioEncoder::take() {
    if (encoded_) return takeEncoded();
    AacTrack track;
    track.extradata = extradata_;
    track.initialPadding = initialPadding_;
    track.samples = outLength_;
    track.loudnessLufs = loudness_;
    track.gainDb = linearToDb(gain_);
    for (Piece& p : pieces_) {
        if (!p.done) {
            error_ = p.error.empty() ? "the sound was not encoded" : p.error;
            return std::nullopt;
        }
        track.limitedSamples += p.limited;
        for (AacPacket& packet : p.packets) track.packets.push_back(std::move(packet));
        p.packets.clear();
    }
    return track;
}

}  // namespace vorlix
