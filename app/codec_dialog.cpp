#include "app/codec_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/qt_text.h"
#include "resources/texts.h"

namespace vorlix {

CodecDialog::CodecDialog(const std::vector<CodecOption>& codecs,
                         const std::optional<CodecChoice>& previous, QWidget* parent)
    : QDialog(parent), codecs_(codecs), previous_(previous) {
    setWindowTitle(qs(texts::kCodecDialogCaption));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(qs(texts::kCodecDialogPrompt), this));

    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("codecs"));
    for (const CodecOption& c : codecs_) list_->addItem(qs(c.description));
    layout->addWidget(list_);

    auto* qualityRow = new QHBoxLayout;
    qualityLabel_ = new QLabel(qs(texts::kCodecQuality), this);
    slider_ = new QSlider(Qt::Horizontal, this);
    quality_ = new QSpinBox(this);
    quality_->setObjectName(QStringLiteral("quality"));
    qualityRow->addWidget(qualityLabel_);
    qualityRow->addWidget(slider_, 1);
    qualityRow->addWidget(quality_);
    layout->addLayout(qualityRow);
    connect(slider_, &QSlider::valueChanged, quality_, &QSpinBox::setValue);
    connect(quality_, &QSpinBox::valueChanged, slider_, &QSlider::setValue);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(qs(texts::kCancel));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::currentRowChanged, this, &CodecDialog::selectionChanged);
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);

    int row = 0;
    if (previous_) {
        for (std::size_t i = 0; i < codecs_.size(); ++i)
            if (codecs_[i].name == previous_->name) row = static_cast<int>(i);
    }
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!codecs_.empty());
    if (!codecs_.empty()) list_->setCurrentRow(row);
    selectionChanged();
}

void CodecDialog::selectionChanged() {
    const int row = list_->currentRow();
    const bool valid = row >= 0 && row < static_cast<int>(codecs_.size());
    const bool has = valid && codecs_[static_cast<std::size_t>(row)].hasQuality;
    for (QWidget* w : {static_cast<QWidget*>(qualityLabel_), static_cast<QWidget*>(slider_),
                       static_cast<QWidget*>(quality_)})
        w->setEnabled(has);
    if (!has) return;
    const CodecOption& c = codecs_[static_cast<std::size_t>(row)];
    slider_->setRange(c.qualityMin, c.qualityMax);
    quality_->setRange(c.qualityMin, c.qualityMax);
    const bool same = previous_ && previous_->name == c.name;
    quality_->setValue(same ? qBound(c.qualityMin, previous_->quality, c.qualityMax)
                            : c.qualityDefault);
}

CodecChoice CodecDialog::choice() const {
    const int row = list_->currentRow();
    if (row < 0 || row >= static_cast<int>(codecs_.size())) return {};
    const CodecOption& c = codecs_[static_cast<std::size_t>(row)];
    return {c.name, c.hasQuality ? quality_->value() : 0};
}

}  // namespace vorlix
