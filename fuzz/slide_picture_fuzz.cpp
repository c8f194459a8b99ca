// PNG and JPEG slides as a hostile folder could hold them: decoded through FFmpeg, laid over
// white, turned by their EXIF orientation, and drawn stretched onto a frame.
#include <cstdlib>

#include "video/frame_renderer.h"
#include "video/slide_picture.h"

using namespace vorlix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string problem;
    const auto slide = decodeSlidePicture(std::span<const std::uint8_t>(data, size), &problem);
    // A refusal always comes with its reason for the user.
    if (!slide) {
        if (problem.empty()) std::abort();
        return 0;
    }
    if (slide->width() <= 0 || slide->height() <= 0 || slide->width() > SlideBitmap::kMaxSide ||
        slide->height() > SlideBitmap::kMaxSide)
        std::abort();
    FrameCanvas canvas(64, 48);
    canvas.fillWhite();
    drawSlide(*slide, canvas, kPlaceStretch);
    return 0;
}
