#include "app/qt_lecture_view.h"

#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

#include "app/qt_text.h"
#include "app/recorder_dialog.h"
#include "resources/window_layout.h"

static void initVorlixResources() { Q_INIT_RESOURCE(vorlix); }

namespace vorlix {

void initResources() { initVorlixResources(); }

QtLectureView::QtLectureView(RecorderDialog& dialog)
    : dialog_(&dialog),
      mainPlaceholder_(QStringLiteral(":/vorlix/placeholder-main.png")),
      nextPlaceholder_(QStringLiteral(":/vorlix/placeholder-next.png")),
      previousPlaceholder_(QStringLiteral(":/vorlix/placeholder-previous.png")),
      loader_(std::make_unique<PreviewLoader>(
          previewReceiver_, QSize(layout::kMainPreviewWidth, layout::kMainPreviewHeight),
          QSize(layout::kSidePreviewWidth, layout::kSidePreviewHeight),
          [this](PreparedSlide slide) { received(std::move(slide)); })) {
    showPreviews({}, {}, {});
}

void QtLectureView::setClockText(const std::string& text) {
    // Runs on the clock thread: the text travels to the window's thread in a queued call.
    QMetaObject::invokeMethod(
        &clockTextReceiver_,
        [this, t = qs(text)] {
            if (dialog_) dialog_->clockField()->setText(t);
        },
        Qt::QueuedConnection);
}

void QtLectureView::setLevelText(const std::string& text) {
    if (dialog_) dialog_->levelField()->setText(qs(text));
}

void QtLectureView::setRecIndicator(bool checked) {
    if (dialog_) dialog_->recIndicator()->setChecked(checked);
}

void QtLectureView::setStartEnabled(bool enabled) {
    if (dialog_) dialog_->startButton()->setEnabled(enabled);
}

void QtLectureView::setPaused(bool paused) {
    if (dialog_) dialog_->showPaused(paused);
}

void QtLectureView::showPreviews(const std::string& current, const std::string& next,
                                 const std::string& previous) {
    shown_ = {current, next, previous};
    if (current.empty() && next.empty() && previous.empty()) {
        // The lecture is over: the next one may bring changed files under the same names.
        prepared_.clear();
        neighbours_.clear();
    }
    for (int canvas = 0; canvas < 3; ++canvas) show(canvas);
    askForMissing();
}

void QtLectureView::prepareSlides(const std::vector<std::string>& paths) {
    neighbours_ = paths;
    askForMissing();
}

bool QtLectureView::isPrepared(const std::string& path) const {
    return std::any_of(prepared_.begin(), prepared_.end(),
                       [&](const PreparedSlide& p) { return p.path == path; });
}

void QtLectureView::show(int canvas) {
    if (!dialog_) return;
    const std::string& path = shown_[static_cast<std::size_t>(canvas)];
    const auto it = std::find_if(prepared_.begin(), prepared_.end(),
                                 [&](const PreparedSlide& p) { return p.path == path; });
    const bool ready = !path.empty() && it != prepared_.end();
    QLabel* label = canvas == 0   ? dialog_->mainPicture()
                    : canvas == 1 ? dialog_->nextPicture()
                                  : dialog_->previousPicture();
    const QImage& placeholder = canvas == 0   ? mainPlaceholder_
                                : canvas == 1 ? nextPlaceholder_
                                              : previousPlaceholder_;
    label->setPixmap(QPixmap::fromImage(!ready ? placeholder : canvas == 0 ? it->main : it->side));
}

void QtLectureView::askForMissing() {
    std::vector<std::string> wanted(shown_.begin(), shown_.end());
    wanted.insert(wanted.end(), neighbours_.begin(), neighbours_.end());
    std::vector<std::string> missing;
    for (const std::string& path : wanted) {
        if (path.empty() || std::find(missing.begin(), missing.end(), path) != missing.end())
            continue;
        const auto it = std::find_if(prepared_.begin(), prepared_.end(),
                                     [&](const PreparedSlide& p) { return p.path == path; });
        if (it == prepared_.end()) {
            missing.push_back(path);
        } else {
            prepared_.splice(prepared_.begin(), prepared_, it);  // wanted again: kept longest
        }
    }
    while (prepared_.size() > kKeep) prepared_.pop_back();
    loader_->request(missing);
}

void QtLectureView::received(PreparedSlide slide) {
    // A picture that could not be read keeps its placeholder and is tried again next time.
    if (slide.main.isNull()) return;
    const std::string path = slide.path;
    prepared_.remove_if([&](const PreparedSlide& p) { return p.path == path; });
    prepared_.push_front(std::move(slide));
    while (prepared_.size() > kKeep) prepared_.pop_back();
    for (int canvas = 0; canvas < 3; ++canvas) {
        if (shown_[static_cast<std::size_t>(canvas)] == path) show(canvas);
    }
}

}  // namespace vorlix
