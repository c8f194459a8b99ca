// The codec choice: the encoders the video file can be written with, and a quality setting for
// those that have one.
#pragma once

#include <QDialog>
#include <optional>
#include <vector>

#include "common/user_prompts.h"

class QListWidget;
class QSlider;
class QSpinBox;
class QLabel;

namespace vorlix {

class CodecDialog : public QDialog {
    Q_OBJECT
public:
    // Preselects the previous choice where it is still offered, else the first encoder.
    CodecDialog(const std::vector<CodecOption>& codecs, const std::optional<CodecChoice>& previous,
                QWidget* parent = nullptr);

    CodecChoice choice() const;

    QListWidget* list() const { return list_; }
    QSpinBox* quality() const { return quality_; }

private:
    void selectionChanged();

    std::vector<CodecOption> codecs_;
    std::optional<CodecChoice> previous_;
    QListWidget* list_ = nullptr;
    QLabel* qualityLabel_ = nullptr;
    QSlider* slider_ = nullptr;
    QSpinBox* quality_ = nullptr;
};

}  // namespace vorlix
