// Reads slide pictures for the previews away from the window's thread. Two worker threads take
// the paths asked for, newest request first; each picture is read once and scaled to both
// preview sizes, and the result is handed to the window's thread through a queued call. A file
// that is slow or never answers holds up only its worker: the window goes on showing the
// placeholder. The workers own what they share with the loader, so a worker stuck in a read
// never keeps the window from closing.
#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vorlix {

struct PreparedSlide {
    std::string path;
    QImage main;  // null when the file could not be read as a picture
    QImage side;
};

class PreviewLoader {
  public:
    // `receiver` lives on the window's thread and outlives the loader; `ready` runs there.
    PreviewLoader(QObject& receiver, QSize mainSize, QSize sideSize,
                  std::function<void(PreparedSlide)> ready);
    ~PreviewLoader();
    PreviewLoader(const PreviewLoader&) = delete;
    PreviewLoader& operator=(const PreviewLoader&) = delete;

    // The paths to read, most wanted first. Replaces what was waiting and not yet begun; a
    // path a worker is reading already is not read twice.
    void request(const std::vector<std::string>& paths);

    // The picture stretched over both sizes (aspect not kept: 4:3 slides fit exactly).
    static PreparedSlide prepare(const std::string& path, QSize mainSize, QSize sideSize);

  private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

}  // namespace vorlix
