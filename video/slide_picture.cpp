#include "video/slide_picture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/dict.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "common/regular_file.h"
#include "resources/texts.h"
#include "video/av_deleters.h"

namespace vorlix {

namespace {

enum class Kind { Bitmap, Png, Jpeg };

Kind kindOf(std::span<const std::uint8_t> head) {
    static constexpr std::uint8_t png[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (head.size() >= sizeof png && std::equal(std::begin(png), std::end(png), head.begin()))
        return Kind::Png;
    if (head.size() >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)
        return Kind::Jpeg;
    return Kind::Bitmap;  // what is neither goes to the bitmap reader, as every slide once did
}

void setProblem(std::string* problem, std::string_view text) {
    if (problem) *problem = std::string(text);
}

struct ScalerFree {
    void operator()(SwsContext* c) const { sws_freeContext(c); }
};

// EXIF orientation 1 to 8 from the decoder's metadata; 1 when there is none.
int orientationOf(const AVFrame& frame) {
    const AVDictionaryEntry* e = av_dict_get(frame.metadata, "Orientation", nullptr, 0);
    if (!e || !e->value) return 1;
    const long v = std::strtol(e->value, nullptr, 10);
    return v >= 1 && v <= 8 ? static_cast<int>(v) : 1;
}

}  // namespace

// Decodes one PNG or JPEG picture with FFmpeg and turns it into blue-green-red rows.
class PictureDecoder {
  public:
    static std::optional<SlideBitmap> run(std::span<const std::uint8_t> file, Kind kind,
                                          std::string* problem) {
        const AVCodec* codec =
            avcodec_find_decoder(kind == Kind::Png ? AV_CODEC_ID_PNG : AV_CODEC_ID_MJPEG);
        if (!codec) {
            setProblem(problem, texts::kSlideUnknownFormat);
            return std::nullopt;
        }
        std::unique_ptr<AVCodecContext, CodecFree> ctx(avcodec_alloc_context3(codec));
        std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
        std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
        if (!ctx || !packet || !frame) throw std::bad_alloc();
        // A header claiming more pixels than a slide may have is refused before any allocation.
        ctx->max_pixels = static_cast<std::int64_t>(SlideBitmap::kMaxPixels);
        // Damage is an error, not a picture with holes in it: a cut JPEG then fails on the
        // missing data instead of coming out grey below the cut.
        ctx->err_recognition = AV_EF_EXPLODE;
        ctx->thread_count = 1;
        if (avcodec_open2(ctx.get(), codec, nullptr) < 0) {
            setProblem(problem, texts::kSlideUnknownFormat);
            return std::nullopt;
        }
        if (file.size() > static_cast<std::size_t>(INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE) ||
            av_new_packet(packet.get(), static_cast<int>(file.size())) < 0) {
            setProblem(problem, texts::kSlideTooLarge);
            return std::nullopt;
        }
        std::memcpy(packet->data, file.data(), file.size());
        int rc = avcodec_send_packet(ctx.get(), packet.get());
        if (rc >= 0) {
            avcodec_send_packet(ctx.get(), nullptr);
            rc = avcodec_receive_frame(ctx.get(), frame.get());
        }
        if (rc < 0 || frame->width <= 0 || frame->height <= 0) {
            setProblem(problem, texts::kSlideDamaged);
            return std::nullopt;
        }
        if (frame->width > SlideBitmap::kMaxSide || frame->height > SlideBitmap::kMaxSide) {
            setProblem(problem, texts::kSlideTooLarge);
            return std::nullopt;
        }
        auto bitmap = toBitmap(*frame);
        if (!bitmap) setProblem(problem, texts::kSlideDamaged);
        return bitmap;
    }

  private:
    static std::optional<SlideBitmap> toBitmap(const AVFrame& frame) {
        const int w = frame.width, h = frame.height;
        const auto format = static_cast<AVPixelFormat>(frame.format);
        const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
        if (!desc) return std::nullopt;
        // A palette may hold transparent entries (PNG tRNS), like an alpha channel.
        const bool alpha = (desc->flags & (AV_PIX_FMT_FLAG_ALPHA | AV_PIX_FMT_FLAG_PAL)) != 0;
        const int orientation = orientationOf(frame);
        const bool turned = orientation >= 5;  // width and height trade places
        SlideBitmap out(turned ? h : w, turned ? w : h);

        if (!alpha && orientation == 1) {
            // The common slide: straight into the rows the renderer reads.
            return convert(frame, AV_PIX_FMT_BGR24, out.mutableRow(0), out.stride())
                       ? std::optional<SlideBitmap>(std::move(out))
                       : std::nullopt;
        }
        // Otherwise through blue-green-red-alpha rows, laid over white and turned upright.
        const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(w) * 4;
        std::vector<std::uint8_t> bgra(static_cast<std::size_t>(stride) * h + 64);
        if (!convert(frame, AV_PIX_FMT_BGRA, bgra.data(), stride)) return std::nullopt;
        for (std::int32_t y = 0; y < out.height(); ++y) {
            std::uint8_t* dst = out.mutableRow(y);
            for (std::int32_t x = 0; x < out.width(); ++x, dst += 3) {
                int sx = x, sy = y;
                switch (orientation) {
                    case 2:
                        sx = w - 1 - x;
                        break;
                    case 3:
                        sx = w - 1 - x;
                        sy = h - 1 - y;
                        break;
                    case 4:
                        sy = h - 1 - y;
                        break;
                    case 5:
                        sx = y;
                        sy = x;
                        break;
                    case 6:
                        sx = y;
                        sy = h - 1 - x;
                        break;
                    case 7:
                        sx = w - 1 - y;
                        sy = h - 1 - x;
                        break;
                    case 8:
                        sx = w - 1 - y;
                        sy = x;
                        break;
                    default:
                        break;
                }
                const std::uint8_t* p = bgra.data() + sy * stride + sx * 4;
                const unsigned a = p[3];
                for (int c = 0; c < 3; ++c)
                    dst[c] =
                        static_cast<std::uint8_t>((p[c] * a + 255u * (255u - a) + 127u) / 255u);
            }
        }
        return out;
    }

    // The frame in the given packed format.
    static bool convert(const AVFrame& frame, AVPixelFormat to, std::uint8_t* dst,
                        std::ptrdiff_t dstStride) {
        // JPEG's full-range YUV formats, named as the plain ones with the range said apart.
        AVPixelFormat from = static_cast<AVPixelFormat>(frame.format);
        bool fullRange = frame.color_range == AVCOL_RANGE_JPEG;
        switch (from) {
            case AV_PIX_FMT_YUVJ420P:
                from = AV_PIX_FMT_YUV420P;
                fullRange = true;
                break;
            case AV_PIX_FMT_YUVJ422P:
                from = AV_PIX_FMT_YUV422P;
                fullRange = true;
                break;
            case AV_PIX_FMT_YUVJ440P:
                from = AV_PIX_FMT_YUV440P;
                fullRange = true;
                break;
            case AV_PIX_FMT_YUVJ444P:
                from = AV_PIX_FMT_YUV444P;
                fullRange = true;
                break;
            case AV_PIX_FMT_YUVJ411P:
                from = AV_PIX_FMT_YUV411P;
                fullRange = true;
                break;
            default:
                break;
        }
        const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(from);
        const bool yuv = desc && desc->nb_components >= 3 && !(desc->flags & AV_PIX_FMT_FLAG_RGB);
        // A JPEG's colours take the quick unscaled path, as FFmpeg's own tools convert them (the
        // slide is shrunk a great deal afterwards); other pictures keep every bit they have.
        const int flags =
            yuv ? SWS_POINT
                : SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP;
        std::unique_ptr<SwsContext, ScalerFree> sws(
            sws_getContext(frame.width, frame.height, from, frame.width, frame.height, to, flags,
                           nullptr, nullptr, nullptr));
        if (!sws) return false;
        if (yuv) {
            const int* bt601 = sws_getCoefficients(SWS_CS_DEFAULT);
            sws_setColorspaceDetails(sws.get(), bt601, fullRange ? 1 : 0, bt601, 1, 0, 1 << 16,
                                     1 << 16);
        }
        std::uint8_t* const planes[4] = {dst, nullptr, nullptr, nullptr};
        const int strides[4] = {static_cast<int>(dstStride), 0, 0, 0};
        return sws_scale(sws.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) ==
               frame.height;
    }
};

std::optional<SlideBitmap> decodeSlidePicture(std::span<const std::uint8_t> file,
                                              std::string* problem) {
    try {
        const Kind kind = kindOf(file);
        if (kind == Kind::Bitmap) {
            auto bitmap = SlideBitmap::decode(file);
            if (!bitmap) setProblem(problem, texts::kSlideUnknownFormat);
            return bitmap;
        }
        return PictureDecoder::run(file, kind, problem);
    } catch (const std::bad_alloc&) {
        setProblem(problem, texts::kSlideTooLarge);
        return std::nullopt;
    }
}

std::optional<SlideBitmap> readSlidePicture(const std::string& path, std::string* problem) {
    // Only plain files, checked before anything can block: a pipe or device could block at the
    // open itself or never end.
    std::string why;
    const int fd = openRegularFile(path, &why);
    if (fd < 0) {
        // The system's reason beside ours: a missing file and a folder read differently.
        setProblem(problem, std::string(texts::kSlideNotOpened) + " (" + why + ")");
        return std::nullopt;
    }
    FileCloser closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        setProblem(problem, texts::kSlideNotOpened);
        return std::nullopt;
    }
    std::uint8_t head[8];
    const std::size_t headSize = readUpTo(fd, head, sizeof head);
    const Kind kind = kindOf(std::span<const std::uint8_t>(head, headSize));
    if (kind == Kind::Bitmap) {
        // The bitmap reader reads only what the headers say it needs.
        auto bitmap = SlideBitmap::readFile(path);
        if (!bitmap) setProblem(problem, texts::kSlideUnknownFormat);
        return bitmap;
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size > kMaxPictureFileBytes) {
        setProblem(problem, texts::kSlideTooLarge);
        return std::nullopt;
    }
    try {
        std::vector<std::uint8_t> file(static_cast<std::size_t>(size));
        std::memcpy(file.data(), head, std::min<std::size_t>(headSize, file.size()));
        const std::size_t rest = file.size() > headSize ? file.size() - headSize : 0;
        file.resize(std::min<std::size_t>(headSize, file.size()) +
                    readUpTo(fd, file.data() + std::min<std::size_t>(headSize, file.size()), rest));
        return PictureDecoder::run(file, kind, problem);
    } catch (const std::bad_alloc&) {
        setProblem(problem, texts::kSlideTooLarge);
        return std::nullopt;
    }
}

}  // namespace vorlix
