#include "app/preview_loader.h"

#include <unistd.h>

#include <QFile>
#include <QImageReader>
#include <QMetaObject>
#include <QPainter>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <thread>

#include "app/qt_text.h"
#include "common/regular_file.h"

namespace vorlix {

namespace {
constexpr int kWorkers = 2;
}

struct PreviewLoader::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::string> waiting;
    std::set<std::string> busy;  // being read by a worker now
    bool closed = false;
    QObject* receiver = nullptr;
    QSize mainSize, sideSize;
    std::function<void(PreparedSlide)> ready;  // called on the receiver's thread only

    static void work(const std::shared_ptr<Shared>& self) {
        for (;;) {
            std::string path;
            {
                std::unique_lock lock(self->mutex);
                self->wake.wait(lock, [&] { return self->closed || !self->waiting.empty(); });
                if (self->closed) return;
                path = std::move(self->waiting.front());
                self->waiting.pop_front();
                self->busy.insert(path);
            }
            PreparedSlide slide = prepare(path, self->mainSize, self->sideSize);
            // Posted under the lock: once the loader has closed, nothing more reaches the
            // receiver, which may then go.
            std::lock_guard lock(self->mutex);
            self->busy.erase(path);
            if (self->closed) return;
            QMetaObject::invokeMethod(
                self->receiver,
                [self, s = std::move(slide)]() mutable { self->ready(std::move(s)); },
                Qt::QueuedConnection);
        }
    }
};

PreviewLoader::PreviewLoader(QObject& receiver, QSize mainSize, QSize sideSize,
                             std::function<void(PreparedSlide)> ready)
    : shared_(std::make_shared<Shared>()) {
    shared_->receiver = &receiver;
    shared_->mainSize = mainSize;
    shared_->sideSize = sideSize;
    shared_->ready = std::move(ready);
    for (int i = 0; i < kWorkers; ++i) std::thread(Shared::work, shared_).detach();
}

PreviewLoader::~PreviewLoader() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->closed = true;
        shared_->waiting.clear();
    }
    shared_->wake.notify_all();
}

void PreviewLoader::request(const std::vector<std::string>& paths) {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->waiting.clear();
        for (const std::string& p : paths) {
            if (!shared_->busy.contains(p)) shared_->waiting.push_back(p);
        }
    }
    shared_->wake.notify_all();
}

PreparedSlide PreviewLoader::prepare(const std::string& path, QSize mainSize, QSize sideSize) {
    PreparedSlide slide{path, {}, {}};
    QImage image;
    // Only a regular file, opened without waiting: a FIFO among the slides must not hold up a
    // worker for good.
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
    if (image.isNull()) return slide;
    if (image.hasAlphaChannel()) {
        // Transparent parts over white, as in the video.
        QImage opaque(image.size(), QImage::Format_RGB32);
        opaque.fill(Qt::white);
        QPainter(&opaque).drawImage(0, 0, image);
        image = std::move(opaque);
    }
    // Very large slides are first thinned out to twice the canvas, which the smooth pass then
    // averages; the side preview is averaged down from the main one.
    if (image.width() > 4 * mainSize.width() || image.height() > 4 * mainSize.height())
        image = image.scaled(mainSize * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    // In the screen's own format, so that showing them on the window's thread converts nothing.
    slide.main = image.scaled(mainSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                     .convertToFormat(QImage::Format_RGB32);
    slide.side = slide.main.scaled(sideSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                     .convertToFormat(QImage::Format_RGB32);
    return slide;
}

}  // namespace vorlix
