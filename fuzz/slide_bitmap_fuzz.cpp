// Slide bitmap files as a hostile folder could hold them: read, placed three ways, packed.
#include <cstdlib>

#include "video/frame_image.h"
#include "video/frame_renderer.h"
#include "video/slide_bitmap.h"

using namespace vorlix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    const auto slide = SlideBitmap::decode(file);
    // The headers alone decide whether a file is read, as the file reader relies on.
    const auto used =
        SlideBitmap::bytesUsed(file.first(std::min(size, SlideBitmap::kHeaderProbe)), size);
    if (slide.has_value() != used.has_value()) std::abort();
    if (!slide) return 0;

    // A frame size of the input's choosing, small enough to keep runs fast.
    const std::int32_t w = size >= 2 ? 1 + data[size - 1] % 80 : 64;
    const std::int32_t h = size >= 2 ? 1 + data[size - 2] % 60 : 48;
    for (std::int32_t mode : {kPlaceStretch, kPlaceTopLeft, kPlaceCentred}) {
        FrameCanvas canvas(w, h);
        canvas.fillWhite();
        if (drawSlide(*slide, canvas, mode) != 0 && mode != kPlaceStretch) std::abort();
        for (std::uint16_t depth : {1, 8, 24}) {
            if (!FrameImage::pack(canvas, depth)) std::abort();
        }
    }
    return 0;
}
