#include "video/slide_frames.h"

#include <algorithm>
#include <new>

#include "video/frame_renderer.h"

namespace vorlix {

SlideFrames::SlideFrames(std::int32_t placementMode, std::size_t budgetBytes)
    : placementMode_(placementMode), budget_(budgetBytes) {}

void SlideFrames::draw(FrameCanvas& canvas, const std::string& slidePath) {
    const auto hit = std::find_if(kept_.begin(), kept_.end(), [&](const Kept& k) {
        return k.path == slidePath && k.width == canvas.width && k.height == canvas.height;
    });
    if (hit != kept_.end()) {
        canvas.pixels = hit->pixels;
        kept_.splice(kept_.begin(), kept_, hit);
        return;
    }
    canvas.fillWhite();
    if (drawSlideBitmap(slidePath, canvas, placementMode_) != 0) return;
    const std::size_t size = canvas.pixels.size();
    if (size > budget_) return;
    while (used_ + size > budget_) {
        used_ -= kept_.back().pixels.size();
        kept_.pop_back();
    }
    try {
        kept_.push_front(Kept{slidePath, canvas.width, canvas.height, canvas.pixels});
        used_ += size;
    } catch (const std::bad_alloc&) {
        // Not kept: the slide is read again when it comes back.
    }
}

}  // namespace vorlix
