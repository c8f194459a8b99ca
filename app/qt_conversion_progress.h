// The progress window while the video is written (or a PDF deck's pages are drawn). The conversion
// runs on the window's thread, so each step also lets the windows repaint.
#pragma once

#include <QPointer>
#include <QProgressDialog>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vorlix {

class QtConversionProgress {
public:
  // The label says what is being made; the video unless told otherwise.
  explicit QtConversionProgress(QWidget* owner, std::string_view label = {});
  ~QtConversionProgress();

  // `done` of `total` frames written; the window opens with the first call.
  void update(std::int64_t done, std::int64_t total);
  // What is being made, from now on.
  void setLabel(std::string_view label);
  // Closes the window (the conversion ended or failed).
  void finish();

  QProgressDialog* dialog() const { return dialog_.get(); }

private:
    QPointer<QWidget> owner_;
    std::string label_;
    std::unique_ptr<QProgressDialog> dialog_;
};

}  // namespace vorlix
