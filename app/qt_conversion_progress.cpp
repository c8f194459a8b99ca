#include "app/qt_conversion_progress.h"

#include <QCoreApplication>
#include <algorithm>

#include "app/qt_text.h"
#include "resources/texts.h"

namespace vorlix {

QtConversionProgress::QtConversionProgress(QWidget* owner, std::string_view label)
    : owner_(owner), label_(label.empty() ? texts::kWritingVideo : label) {}

QtConversionProgress::~QtConversionProgress() = default;

void QtConversionProgress::update(std::int64_t done, std::int64_t total) {
    if (!dialog_) {
        dialog_ = std::make_unique<QProgressDialog>(owner_);
        dialog_->setWindowTitle(qs(texts::kWindowCaption));
        dialog_->setLabelText(qs(label_));
        dialog_->setCancelButton(nullptr);  // a half-written file or deck is of no use
        dialog_->setWindowModality(Qt::WindowModal);
        dialog_->setMinimumDuration(0);
        dialog_->setAutoClose(false);
        dialog_->setAutoReset(false);
    }
    // Counts above int's range are scaled down to permille.
    const bool large = total > 1000000;
    const int max = large ? 1000 : static_cast<int>(qMax<std::int64_t>(total, 1));
    const std::int64_t scaled = large ? done * 1000 / total : done;
    const int value = static_cast<int>(std::clamp<std::int64_t>(scaled, 0, max));
    dialog_->setMaximum(max);
    dialog_->setValue(value);
    if (!dialog_->isVisible()) dialog_->show();
    // Paint, but take no clicks or keys: the conversion is not re-entrant.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtConversionProgress::setLabel(std::string_view label) {
    label_ = label;
    if (dialog_) dialog_->setLabelText(qs(label_));
}

void QtConversionProgress::finish() {
    if (dialog_) dialog_->hide();
    dialog_.reset();
}

}  // namespace vorlix
