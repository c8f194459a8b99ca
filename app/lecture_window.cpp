#include "app/lecture_window.h"

#include <QMetaObject>
#include <QPushButton>

#include "resources/texts.h"

namespace vorlix {

LectureWindow::LectureWindow(UserPrompts& prompts, WaveInput& device)
    : view_(dialog_),
      progress_(&dialog_),
      slidesProgress_(&dialog_, texts::kPreparingSlides),
      controller_(view_, prompts, device) {
    LectureController& c = controller_;
    QObject::connect(&dialog_, &RecorderDialog::startRequested, &dialog_, [&c] { c.start(); });
    QObject::connect(&dialog_, &RecorderDialog::endRequested, &dialog_, [&c] { c.end(); });
    QObject::connect(&dialog_, &RecorderDialog::nextRequested, &dialog_, [&c] { c.next(); });
    QObject::connect(&dialog_, &RecorderDialog::previousRequested, &dialog_,
                     [&c] { c.previous(); });
    QObject::connect(&dialog_, &RecorderDialog::pauseRequested, &dialog_,
                     [&c] { c.togglePause(); });
    dialog_.setStepKeysActive([&c] { return c.lectureRunning(); });
    dialog_.setCloseGuard([&c] { return c.confirmClose(); });
    controller_.setConversionProgress(
        [this](std::int64_t done, std::int64_t total) { progress_.update(done, total); },
        [this] { progress_.finish(); },
        [this](std::string_view label) { progress_.setLabel(label); });
    controller_.setSlidePreparationProgress(
        [this](std::int64_t done, std::int64_t total) { slidesProgress_.update(done, total); },
        [this] {
            slidesProgress_.finish();
            // The keys of a presentation remote go to the main window again at once.
            dialog_.activateWindow();
        });
    // Without a clock thread the program cannot time a lecture: it closes once the message has
    // been read and Start has returned.
    RecorderDialog* d = &dialog_;
    controller_.setQuitRequest([d] {
        QMetaObject::invokeMethod(d, [d] { d->closeWithoutAsking(); }, Qt::QueuedConnection);
    });
}

}  // namespace vorlix
