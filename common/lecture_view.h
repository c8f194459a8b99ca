// What the lecture shows in the window. The window implements it; tests fake it.
#pragma once

#include <string>
#include <vector>

namespace vorlix {

class LectureView {
public:
    virtual ~LectureView() = default;

    // Called from the clock thread: an implementation hands the text over to its own thread
    // (a queued call) and never blocks the caller.
    virtual void setClockText(const std::string& text) = 0;

    // The rest are called on the user-interface thread.
    virtual void setLevelText(const std::string& text) = 0;
    virtual void setRecIndicator(bool checked) = 0;
    virtual void setStartEnabled(bool enabled) = 0;
    // The lecture is paused (nothing is recorded) or recording again. A view that shows no
    // pause ignores it.
    virtual void setPaused(bool /*paused*/) {}

    // The three previews. A path that is empty or cannot be loaded as an image shows that
    // picture's placeholder.
    virtual void showPreviews(const std::string& current, const std::string& next,
                              const std::string& previous) = 0;
    // Slides the next step may show beyond those on screen: a view may read them ahead.
    virtual void prepareSlides(const std::vector<std::string>& /*paths*/) {}
};

}  // namespace vorlix
