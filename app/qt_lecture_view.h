// The lecture's view onto the main window's controls.
#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "app/preview_loader.h"
#include "common/lecture_view.h"

class QLabel;

namespace vorlix {

class RecorderDialog;

class QtLectureView : public LectureView {
public:
    explicit QtLectureView(RecorderDialog& dialog);

    void setClockText(const std::string& text) override;
    void setLevelText(const std::string& text) override;
    void setRecIndicator(bool checked) override;
    void setStartEnabled(bool enabled) override;
    void setPaused(bool paused) override;
    // Shows what is prepared at once and the placeholder where a picture is still being read;
    // it replaces the placeholder when it arrives. Never reads a file on the window's thread.
    void showPreviews(const std::string& current, const std::string& next,
                      const std::string& previous) override;
    void prepareSlides(const std::vector<std::string>& paths) override;

    // Whether the picture of the path is prepared (for tests and benchmarks).
    bool isPrepared(const std::string& path) const;

private:
    QPointer<RecorderDialog> dialog_;
    // Lives on the window's thread as long as the view, which outlives the clock thread: the
    // clock's text is queued to it, and only the window's thread looks at the dialog.
    QObject clockTextReceiver_;
    QImage mainPlaceholder_;
    QImage nextPlaceholder_;
    QImage previousPlaceholder_;

    void show(int canvas);
    void received(PreparedSlide slide);
    void askForMissing();

    // Slides kept prepared beyond those on screen and their neighbours.
    static constexpr std::size_t kKeep = 8;
    std::array<std::string, 3> shown_;  // main, next, previous
    std::vector<std::string> neighbours_;
    std::list<PreparedSlide> prepared_;  // most recently wanted first
    // Declared after what it reports to: it goes first, and nothing arrives after that.
    QObject previewReceiver_;
    std::unique_ptr<PreviewLoader> loader_;
};

// Makes the compiled-in pictures available (needed once, before any window opens).
void initResources();

}  // namespace vorlix
