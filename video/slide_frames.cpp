#include "video/slide_frames.h"

#include <algorithm>
#include <new>

#include "video/frame_renderer.h"

namespace vorlix {

SlideFrames::SlideFrames(std::int32_t placementMode, std::size_t budgetBytes)
    : placementMode_(placementMode), budget_(budgetBytes) {}

void SlideFrames::expect(const std::vector<std::string>& slidePaths) {
    planned_ = true;
    usesLeft_.clear();
    for (const std::string& path : slidePaths) ++usesLeft_[path];
}

bool SlideFrames::draw(FrameCanvas& canvas, const std::string& slidePath, std::string* reason) {
    // Whether this slide comes again after this line.
    bool wantedAgain = true;
    if (planned_) {
        const auto uses = usesLeft_.find(slidePath);
        wantedAgain = uses != usesLeft_.end() && --uses->second > 0;
    }
    const auto hit = std::find_if(kept_.begin(), kept_.end(), [&](const Kept& k) {
        return k.path == slidePath && k.width == canvas.width && k.height == canvas.height;
    });
    if (hit != kept_.end()) {
        if (wantedAgain) {
            canvas.pixels = hit->pixels;
            kept_.splice(kept_.begin(), kept_, hit);
        } else {
            // Its last use: the kept pixels themselves go to the frame.
            used_ -= hit->pixels.size();
            canvas.pixels.swap(hit->pixels);
            kept_.erase(hit);
        }
        return true;
    }
    if (!drawSlideFrame(canvas, slidePath, placementMode_, reason)) return false;
    const std::size_t size = canvas.pixels.size();
    if (!wantedAgain || size > budget_) return true;
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
    return true;
}

}  // namespace vorlix
