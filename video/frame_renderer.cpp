#include "video/frame_renderer.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "lecture/user_prompts.h"
#include "resources/texts.h"
#include "video/slide_bitmap.h"

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

int stretch(const SlideBitmap& slide, FrameCanvas& canvas) {
    if (slide.width() == canvas.width && slide.height() == canvas.height) {
        blit(slide, canvas, 0, 0);
        return 0;
    }
    const bool shrinks = slide.width() > canvas.width || slide.height() > canvas.height;
    // Full chroma in and out keeps coloured text from bleeding; area averaging keeps thin
    // strokes of a shrunk slide visible instead of dropping them.
    const int flags = (shrinks ? SWS_AREA : SWS_BICUBIC) | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP |
                      SWS_ACCURATE_RND;
    std::unique_ptr<SwsContext, SwsContextFree> ctx(
        sws_getContext(slide.width(), slide.height(), AV_PIX_FMT_BGR24, canvas.width, canvas.height,
                       AV_PIX_FMT_BGR24, flags, nullptr, nullptr, nullptr));
    if (!ctx) return 1;

    // The scaler works fastest on aligned rows, so it fills its own buffer first.
    const std::size_t outStride =
        (static_cast<std::size_t>(canvas.width) * 3 + 31) & ~std::size_t{31};
    std::vector<std::uint8_t> out(outStride * static_cast<std::size_t>(canvas.height) + 64);
    const std::uint8_t* const src[4] = {slide.row(0), nullptr, nullptr, nullptr};
    const int srcStride[4] = {static_cast<int>(slide.stride()), 0, 0, 0};
    std::uint8_t* const dst[4] = {out.data(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {static_cast<int>(outStride), 0, 0, 0};
    if (sws_scale(ctx.get(), src, srcStride, 0, slide.height(), dst, dstStride) != canvas.height) {
        return 1;
    }
    for (std::int32_t y = 0; y < canvas.height; ++y) {
        std::memcpy(canvas.row(y), out.data() + y * outStride,
                    static_cast<std::size_t>(canvas.width) * 3);
    }
    return 0;
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

int drawSlideBitmap(const std::string& path, FrameCanvas& canvas, std::int32_t placementMode) {
    const auto slide = SlideBitmap::readFile(path);
    if (!slide) return 1;
    return drawSlide(*slide, canvas, placementMode);
}

void drawSlideFrame(FrameCanvas& canvas, const std::string& slidePath, std::int32_t placementMode) {
    canvas.fillWhite();
    // A slide that cannot be read leaves its frame white; the lecture goes on.
    drawSlideBitmap(slidePath, canvas, placementMode);
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
