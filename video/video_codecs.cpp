#include "video/video_codecs.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "resources/texts.h"

namespace vorlix {

namespace {

struct Candidate {
    const char* encoder;
    std::string_view description;
    bool hasQuality;
};

// Intra-only encoders with an AVI tag, in the order the user sees them.
constexpr Candidate kCandidates[] = {
    {"rawvideo", texts::kCodecUncompressed, false},
    {"mjpeg", texts::kCodecMjpeg, true},
    {"mpeg4", texts::kCodecMpeg4, true},
    {"libx264", texts::kCodecH264, true},
    {"ffv1", texts::kCodecFfv1, false},
    {"utvideo", texts::kCodecUtVideo, false},
    {"zmbv", texts::kCodecZmbv, false},
    {"huffyuv", texts::kCodecHuffyuv, false},
    {"png", texts::kCodecPng, false},
};

}  // namespace

std::vector<CodecOption> availableVideoCodecs() {
    const AVOutputFormat* avi = av_guess_format("avi", nullptr, nullptr);
    std::vector<CodecOption> list;
    for (const Candidate& c : kCandidates) {
        const AVCodec* codec = avcodec_find_encoder_by_name(c.encoder);
        if (codec == nullptr) continue;
        if (avi != nullptr && avformat_query_codec(avi, codec->id, FF_COMPLIANCE_NORMAL) != 1) {
            continue;
        }
        CodecOption option;
        option.name = c.encoder;
        option.description = std::string(c.description);
        option.hasQuality = c.hasQuality;
        if (c.hasQuality) {
            option.qualityMin = kQualityMin;
            option.qualityMax = kQualityMax;
            option.qualityDefault = kQualityDefault;
        }
        list.push_back(std::move(option));
    }
    return list;
}

const CodecOption* findVideoCodec(const std::vector<CodecOption>& codecs, std::string_view name) {
    for (const CodecOption& c : codecs) {
        if (c.name == name) return &c;
    }
    return nullptr;
}

}  // namespace vorlix
