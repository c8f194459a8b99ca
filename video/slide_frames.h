// The frames of one conversion's slides. A lecture that goes back to a slide (Previous, then
// Next) names it on several timeline lines; its frame is then copied from the last time instead
// of reading and scaling the file again. The most recently used frames are kept, up to a byte
// budget, so memory stays bounded however many slides the lecture has.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "video/frame_image.h"

namespace vorlix {

class SlideFrames {
  public:
    // Nine 640 x 480 frames: room for going back and forth over several slides.
    static constexpr std::size_t kDefaultBudget = 9 * 640 * 480 * 3;

    explicit SlideFrames(std::int32_t placementMode, std::size_t budgetBytes = kDefaultBudget);

    // White, then the slide at the path at the placement: the pixels drawSlideFrame gives.
    // A slide that could not be read is tried again the next time. One thread at a time.
    void draw(FrameCanvas& canvas, const std::string& slidePath);

  private:
    struct Kept {
        std::string path;
        std::int32_t width = 0;
        std::int32_t height = 0;
        std::vector<std::uint8_t> pixels;
    };
    std::int32_t placementMode_;
    std::size_t budget_;
    std::size_t used_ = 0;
    std::list<Kept> kept_;  // most recently used first
};

}  // namespace vorlix
