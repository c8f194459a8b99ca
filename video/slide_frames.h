// The frames of one conversion's slides. A lecture that goes back to a slide (Previous, then
// Next) names it on several timeline lines; its frame is then copied from the last time instead
// of reading and scaling the file again. Frames are kept up to a byte budget, so memory stays
// bounded however many slides the lecture has: told the lines to come, only the frames of slides
// that come back are kept, each until its last line; otherwise the most recently used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

#include "video/frame_image.h"

namespace vorlix {

class SlideFrames {
  public:
    // Nine 640 x 480 frames: room for going back and forth over several slides.
    static constexpr std::size_t kDefaultBudget = 9 * 640 * 480 * 3;

    explicit SlideFrames(std::int32_t placementMode, std::size_t budgetBytes = kDefaultBudget);

    // White, then the slide at the path at the placement: the pixels drawSlideFrame gives.
    // A slide that could not be read is tried again the next time; false then, with the reason
    // when asked. One thread at a time.
    bool draw(FrameCanvas& canvas, const std::string& slidePath, std::string* reason = nullptr);

    // The slide path of every line to come, in order, before the first draw.
    void expect(const std::vector<std::string>& slidePaths);

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
    bool planned_ = false;
    std::unordered_map<std::string, std::int32_t> usesLeft_;
};

}  // namespace vorlix
