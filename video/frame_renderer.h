// Slide bitmaps into video frames.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "video/frame_image.h"

namespace vorlix {

class SlideBitmap;
class UserPrompts;

// How a slide is placed in its frame: 1 stretch, 2 top-left, anything else centred.
enum : std::int32_t { kPlaceCentred = 0, kPlaceStretch = 1, kPlaceTopLeft = 2 };

// Draws a slide onto the canvas at the placement, clipped at the canvas's edges. Stretching
// averages areas when it shrinks (text stays legible) and interpolates bicubically when it only
// enlarges. 0 when drawn, 1 when the scaler could not be set up (the canvas keeps what it had).
int drawSlide(const SlideBitmap& slide, FrameCanvas& canvas, std::int32_t placementMode);

// Draws a slide file (bitmap, PNG or JPEG) onto the canvas. 0 when drawn, 1 on any failure (the canvas then
// keeps what it had, and *reason says why when asked).
int drawSlideBitmap(const std::string& path, FrameCanvas& canvas, std::int32_t placementMode,
                    std::string* reason = nullptr);

// White, then the slide at the given path. False (with the reason when asked) when the slide
// could not be drawn and the frame stays white.
bool drawSlideFrame(FrameCanvas& canvas, const std::string& slidePath, std::int32_t placementMode,
                    std::string* reason = nullptr);

// What render frame calls to paint a frame of index 0 or more.
using DrawOperation = std::function<void(FrameCanvas& canvas, std::int32_t frameIndex)>;

// Replaces `image` with a new frame: frees the old one, draws (index >= 0 only) and packs at
// the depth. When no frame image can be made, shows "MAKEDIB ERROR!" and leaves `image` null.
void renderFrame(std::unique_ptr<FrameImage>& image, std::uint16_t bitDepth, std::int32_t width,
                 std::int32_t height, std::int32_t frameIndex, const DrawOperation& draw,
                 UserPrompts& prompts);

inline void freeFrame(std::unique_ptr<FrameImage>& image) {
    image.reset();
}

}  // namespace vorlix
