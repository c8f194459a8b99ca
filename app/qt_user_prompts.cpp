#include "app/qt_user_prompts.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>

#include "app/codec_dialog.h"
#include "app/qt_text.h"
#include "resources/texts.h"

namespace vorlix {

namespace {
const QString kLastSlideFolderKey = QStringLiteral("slides/lastFolder");
}  // namespace

QtUserPrompts::QtUserPrompts(QWidget* owner) : owner_(owner) {}

void QtUserPrompts::showMessage(std::string_view text, std::string_view caption) {
    QMessageBox box(QMessageBox::NoIcon, qs(caption.empty() ? texts::kWindowCaption : caption),
                    qs(text), QMessageBox::Ok, owner_);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool QtUserPrompts::askYesNo(std::string_view text) {
    QMessageBox box(QMessageBox::Question, qs(texts::kWindowCaption), qs(text),
                    QMessageBox::Yes | QMessageBox::No, owner_);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> QtUserPrompts::chooseFolder(std::string_view title) {
    QFileDialog dialog(owner_);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const QString text = qs(title);
    dialog.setWindowTitle(text.section(QLatin1Char('\n'), 0, 0));
    // The whole instruction stays in view above the buttons.
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        auto* label = new QLabel(text, &dialog);
        label->setObjectName(QStringLiteral("instruction"));
        label->setTextFormat(Qt::PlainText);
        grid->addWidget(label, grid->rowCount(), 0, 1, grid->columnCount());
    }
    // The folder of the last lecture: the next one is usually beside it.
    QSettings settings;
    const QString last = settings.value(kLastSlideFolderKey).toString();
    if (!last.isEmpty() && QFileInfo(last).isDir()) dialog.setDirectory(last);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const QString chosen = dialog.selectedFiles().constFirst();
    settings.setValue(kLastSlideFolderKey, chosen);
    return utf8(chosen);
}

std::optional<std::string> QtUserPrompts::askSavePath(std::string_view filterDescription,
                                                      std::string_view filterPattern,
                                                      std::string_view initialName) {
    QFileDialog dialog(owner_);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    QString description = qs(filterDescription);
    const QString pattern = qs(filterPattern);
    if (!description.contains(pattern)) description += QStringLiteral(" (%1)").arg(pattern);
    dialog.setNameFilter(description);
    // "name" becomes "name.avi" before the dialogue checks whether it would replace a file.
    if (pattern.startsWith(QStringLiteral("*.")) && !pattern.contains(QLatin1Char(';')))
        dialog.setDefaultSuffix(pattern.mid(2));
    // A wildcard as the initial name only repeats the filter.
    const QString initial = qs(initialName);
    if (!initial.contains(QLatin1Char('*'))) dialog.selectFile(initial);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return utf8(dialog.selectedFiles().constFirst());
}

std::optional<CodecChoice> QtUserPrompts::chooseCodec(const std::vector<CodecOption>& codecs) {
    CodecDialog dialog(codecs, lastCodec_, owner_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    lastCodec_ = dialog.choice();
    return lastCodec_;
}

}  // namespace vorlix
