// The lecture's view onto the main window's controls.
#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>

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
    void showPreviews(const std::string& current, const std::string& next,
                      const std::string& previous) override;

    // One preview: the image file stretched over the whole canvas, or the placeholder where
    // the file cannot be read as an image.
    static QImage previewImage(const std::string& path, const QImage& placeholder);

private:
    QPointer<RecorderDialog> dialog_;
    // Lives on the window's thread as long as the view, which outlives the clock thread: the
    // clock's text is queued to it, and only the window's thread looks at the dialog.
    QObject clockTextReceiver_;
    QImage mainPlaceholder_;
    QImage nextPlaceholder_;
    QImage previousPlaceholder_;
};

// Makes the compiled-in pictures available (needed once, before any window opens).
void initResources();

}  // namespace vorlix
