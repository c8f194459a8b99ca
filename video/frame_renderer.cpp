#include "video/frame_renderer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
#include <span>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "common/regular_file.h"
#include "common/user_prompts.h"
#include "resources/texts.h"
#include "video/area_scaler.h"
#include "video/slide_bitmap.h"
#include "video/slide_picture.h"

namespace vorlix {

namespace {

// Unscaled copy with the slide's top-left corner at (left, top), which may lie outside.
void blit(const SlideBitmap& slide, FrameCanvas& canvas, std::int64_t left, std::int64_t top) {
    const std::int64_t x0 = std::max<std::int64_t>(0, left);
    const std::int64_t x1 = std::min<std::int64_t>(canvas.width, left + slide.width());
    const std::int64_t y0 = std::max<std::int64_t>(0, top);
    const std::int64_t y1 = std::min<std::int64_t>(canvas.height, top + slide.height());
    if (x0 >= x1 || y0 >= y1) return;
    const std::size_t bytes = static_cast<std::size_t>(x1 - x0) * 3;
    for (std::int64_t y = y0; y < y1; ++y) {
        std::memcpy(canvas.row(static_cast<std::int32_t>(y)) + x0 * 3,
                    slide.row(static_cast<std::int32_t>(y - top)) + (x0 - left) * 3, bytes);
    }
}

struct SwsContextFree {
    void operator()(SwsContext* c) const { sws_freeContext(c); }
};
using Scaler = std::unique_ptr<SwsContext, SwsContextFree>;

// Full chroma in and out keeps coloured text from bleeding; area averaging keeps the thin
// strokes of a shrunk slide visible instead of dropping some and blackening others.
Scaler scaler(int srcW, int srcH, int dstW, int dstH) {
    const bool shrinks = srcW > dstW || srcH > dstH;
    const int flags = (shrinks ? SWS_AREA : SWS_BICUBIC) | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP |
                      SWS_ACCURATE_RND;
    return Scaler(sws_getContext(srcW, srcH, AV_PIX_FMT_BGR24, dstW, dstH, AV_PIX_FMT_BGR24, flags,
                                 nullptr, nullptr, nullptr));
}

bool scale(const Scaler& ctx, const std::uint8_t* src, std::ptrdiff_t srcStride, int srcH,
           std::uint8_t* dst, std::ptrdiff_t dstStride, int dstH) {
    const std::uint8_t* const srcPlanes[4] = {src, nullptr, nullptr, nullptr};
    const int srcStrides[4] = {static_cast<int>(srcStride), 0, 0, 0};
    std::uint8_t* const dstPlanes[4] = {dst, nullptr, nullptr, nullptr};
    const int dstStrides[4] = {static_cast<int>(dstStride), 0, 0, 0};
    return sws_scale(ctx.get(), srcPlanes, srcStrides, 0, srcH, dstPlanes, dstStrides) == dstH;
}

int stretch(const SlideBitmap& slide, FrameCanvas& canvas) {
    const int sw = slide.width(), sh = slide.height(), dw = canvas.width, dh = canvas.height;
    if (sw == dw && sh == dh) {
        blit(slide, canvas, 0, 0);
        return 0;
    }
    const std::ptrdiff_t canvasStride = static_cast<std::ptrdiff_t>(dw) * 3;
    // Shrinking, the usual case, is ours: the scaler's accurate area averaging of packed
    // pixels took several times as long for the same picture.
    if (dw <= sw && dh <= sh) {
        return shrinkByArea(slide.row(0), slide.stride(), sw, sh, canvas.pixels.data(),
                            canvasStride, dw, dh)
                   ? 0
                   : 1;
    }
    if (const Scaler direct = scaler(sw, sh, dw, dh)) {
        const bool done =
            scale(direct, slide.row(0), slide.stride(), sh, canvas.pixels.data(), canvasStride, dh);
        return done ? 0 : 1;
    }
    // The scaler takes no single step that both shrinks one axis a great deal and enlarges
    // the other (a slide of 1000 x 3, say): one axis at a time then, through the smaller of the
    // two possible intermediates, with slack for the scaler's reads.
    const bool widthFirst =
        static_cast<std::int64_t>(dw) * sh <= static_cast<std::int64_t>(sw) * dh;
    const int midW = widthFirst ? dw : sw, midH = widthFirst ? sh : dh;
    const Scaler first = scaler(sw, sh, midW, midH);
    const Scaler second = scaler(midW, midH, dw, dh);
    if (!first || !second) return 1;
    const std::ptrdiff_t midStride = static_cast<std::ptrdiff_t>(midW) * 3;
    std::vector<std::uint8_t> mid(static_cast<std::size_t>(midStride) * midH + 64);
    const bool done =
        scale(first, slide.row(0), slide.stride(), sh, mid.data(), midStride, midH) &&
        scale(second, mid.data(), midStride, midH, canvas.pixels.data(), canvasStride, dh);
    return done ? 0 : 1;
}

// Reads exactly `count` bytes at `offset`.
bool readAt(int fd, std::uint8_t* to, std::size_t count, std::uint64_t offset) {
    while (count > 0) {
        const ssize_t got = ::pread(fd, to, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        to += got;
        count -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

// A plain 24-bit bitmap shrunk onto the canvas a band of rows at a time: held whole, a
// 1920 x 1080 slide takes 6 MB for a moment, a band of 16 rows 0.1 MB. The pixels are the ones
// the whole file gives. 1 when the file is not such a bitmap or is not shrunk (nothing drawn),
// -1 when a read failed half-way, 0 when drawn.
int shrinkPlainBitmap(const std::string& path, FrameCanvas& canvas) {
    constexpr std::int32_t kBandRows = 16;
    const int fd = openRegularFile(path);
    if (fd < 0) return 1;
    FileCloser closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) return 1;
    std::uint8_t head[SlideBitmap::kHeaderProbe];
    const std::size_t headSize = readUpTo(fd, head, sizeof head);
    if (headSize < 2 || head[0] != 'B' || head[1] != 'M') return 1;
    const auto rows = SlideBitmap::plainRows(std::span<const std::uint8_t>(head, headSize),
                                             static_cast<std::uint64_t>(st.st_size));
    if (!rows || canvas.width > rows->width || canvas.height > rows->height ||
        (canvas.width == rows->width && canvas.height == rows->height)) {
        return 1;
    }
    const auto stride = static_cast<std::ptrdiff_t>(rows->stride);
    std::vector<std::uint8_t> band;
    std::int32_t bandFirst = 0, bandCount = 0;
    const SourceRows fetch = [&](std::int32_t first, std::int32_t count,
                                 std::ptrdiff_t* step) -> const std::uint8_t* {
        if (first < bandFirst || first + count > bandFirst + bandCount) {
            bandFirst = first;
            bandCount = std::min(std::max(count, kBandRows), rows->height - first);
            band.resize(static_cast<std::size_t>(stride) * static_cast<std::size_t>(bandCount));
            // Bottom-up, the band's last row comes first in the file.
            const std::int64_t fileRow = rows->topDown ? first : rows->height - first - bandCount;
            if (!readAt(fd, band.data(), band.size(),
                        rows->offset + static_cast<std::uint64_t>(fileRow * stride))) {
                return nullptr;
            }
        }
        const std::ptrdiff_t k = first - bandFirst;
        *step = rows->topDown ? stride : -stride;
        return band.data() + (rows->topDown ? k : bandCount - 1 - k) * stride;
    };
    try {
        return shrinkByArea(fetch, rows->width, rows->height, canvas.pixels.data(),
                            static_cast<std::ptrdiff_t>(canvas.width) * 3, canvas.width,
                            canvas.height)
                   ? 0
                   : -1;
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

}  // namespace

int drawSlide(const SlideBitmap& slide, FrameCanvas& canvas, std::int32_t placementMode) {
    if (canvas.empty()) return 0;
    try {
        switch (placementMode) {
            case kPlaceStretch:
                return stretch(slide, canvas);
            case kPlaceTopLeft:
                blit(slide, canvas, 0, 0);
                return 0;
            default: {
                // The frame's sizes halve as unsigned numbers, the slide's toward zero.
                const std::int64_t left =
                    static_cast<std::uint32_t>(canvas.width) / 2u - std::int64_t{slide.width() / 2};
                const std::int64_t top = static_cast<std::uint32_t>(canvas.height) / 2u -
                                         std::int64_t{slide.height() / 2};
                blit(slide, canvas, left, top);
                return 0;
            }
        }
    } catch (const std::bad_alloc&) {
        return 1;
    }
}

int drawSlideBitmap(const std::string& path, FrameCanvas& canvas, std::int32_t placementMode,
                    std::string* reason) {
    const auto slide = readSlidePicture(path, reason);
    if (!slide) return 1;
    if (drawSlide(*slide, canvas, placementMode) == 0) return 0;
    if (reason != nullptr) *reason = "could not be scaled";
    return 1;
}

bool drawSlideFrame(FrameCanvas& canvas, const std::string& slidePath, std::int32_t placementMode,
                    std::string* reason) {
    canvas.fillWhite();
    if (placementMode == kPlaceStretch && !canvas.empty()) {
        const int banded = shrinkPlainBitmap(slidePath, canvas);
        if (banded == 0) return true;
        // Read whole again: that tells why, or gets past what the bands could not.
        if (banded < 0) canvas.fillWhite();
    }
    // A slide that cannot be read leaves its frame white; the lecture goes on, and the caller
    // tells the user.
    return drawSlideBitmap(slidePath, canvas, placementMode, reason) == 0;
}

void renderFrame(std::unique_ptr<FrameImage>& image, std::uint16_t bitDepth, std::int32_t width,
                 std::int32_t height, std::int32_t frameIndex, const DrawOperation& draw,
                 UserPrompts& prompts) {
    freeFrame(image);
    try {
        FrameCanvas canvas(width, height);
        if (!canvas.empty() && frameIndex >= 0 && draw) draw(canvas, frameIndex);
        image = FrameImage::pack(canvas, bitDepth);
    } catch (const std::exception&) {
        image.reset();
    }
    if (!image) prompts.showMessage(texts::kMakeDibError, texts::kAviErrCaption);
}

}  // namespace vorlix
