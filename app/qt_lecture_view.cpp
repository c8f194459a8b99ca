#include "app/qt_lecture_view.h"

#include <unistd.h>

#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <future>

#include "app/qt_text.h"
#include "app/recorder_dialog.h"
#include "common/regular_file.h"

static void initVorlixResources() { Q_INIT_RESOURCE(vorlix); }

namespace vorlix {

void initResources() { initVorlixResources(); }

QtLectureView::QtLectureView(RecorderDialog& dialog)
    : dialog_(&dialog),
      mainPlaceholder_(QStringLiteral(":/vorlix/placeholder-main.png")),
      nextPlaceholder_(QStringLiteral(":/vorlix/placeholder-next.png")),
      previousPlaceholder_(QStringLiteral(":/vorlix/placeholder-previous.png")) {
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

QImage QtLectureView::previewImage(const std::string& path, const QImage& placeholder) {
    QImage image;
    // Only a regular file, opened without waiting: a FIFO among the slides must not freeze
    // the window.
    const int fd = path.empty() ? -1 : openRegularFile(path);
    if (fd >= 0) {
        QFile file;
        if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            QImageReader reader(&file);
            reader.setAutoTransform(true);  // a JPEG's EXIF orientation, as the video frames take it
            reader.setDecideFormatFromContent(true);
            // The same bound the frames have: a hostile header must not claim gigabytes.
            reader.setAllocationLimit(256);
            image = reader.read();
        } else {
            ::close(fd);
        }
    }
    if (image.isNull()) return placeholder;
    if (image.hasAlphaChannel()) {
        // Transparent parts over white, as in the video.
        QImage opaque(image.size(), QImage::Format_RGB32);
        opaque.fill(Qt::white);
        QPainter(&opaque).drawImage(0, 0, image);
        image = std::move(opaque);
    }
    // Stretched over the whole canvas, as slides of 4:3 fit it exactly. Very large slides are
    // first thinned out to twice the canvas, which the smooth pass then averages.
    const QSize canvas = placeholder.size();
    if (image.width() > 4 * canvas.width() || image.height() > 4 * canvas.height())
        image = image.scaled(canvas * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    return image.scaled(canvas, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void QtLectureView::showPreviews(const std::string& current, const std::string& next,
                                 const std::string& previous) {
    if (!dialog_) return;
    // The side previews are read beside the main one: a step on large slides stays quick.
    auto nextImage = std::async(std::launch::async, previewImage, next, nextPlaceholder_);
    auto previousImage =
        std::async(std::launch::async, previewImage, previous, previousPlaceholder_);
    const QImage mainImage = previewImage(current, mainPlaceholder_);
    dialog_->mainPicture()->setPixmap(QPixmap::fromImage(mainImage));
    dialog_->nextPicture()->setPixmap(QPixmap::fromImage(nextImage.get()));
    dialog_->previousPicture()->setPixmap(QPixmap::fromImage(previousImage.get()));
}

}  // namespace vorlix
