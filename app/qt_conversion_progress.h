// The progress window while the video is written. The conversion runs on the window's thread,
// so each step also lets the windows repaint.
#pragma once

#include <QPointer>
#include <QProgressDialog>
#include <cstdint>
#include <memory>

namespace vorlix {

class QtConversionProgress {
public:
    explicit QtConversionProgress(QWidget* owner);
    ~QtConversionProgress();

    // `done` of `total` frames written; the window opens with the first call.
    void update(std::int64_t done, std::int64_t total);
    // Closes the window (the conversion ended or failed).
    void finish();

    QProgressDialog* dialog() const { return dialog_.get(); }

private:
    QPointer<QWidget> owner_;
    std::unique_ptr<QProgressDialog> dialog_;
};

}  // namespace vorlix
