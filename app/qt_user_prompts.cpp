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
const QString kVideoFolderKey = QStringLiteral("video/lastFolder");
const QString kVideoKindKey = QStringLiteral("video/kind");  // the pattern, e.g. "*.mp4"
const QString kCodecKey = QStringLiteral("video/codec");
const QString kQualityKey = QStringLiteral("video/quality");
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
    auto chosen =
        askSaveFile({{std::string(filterDescription), std::string(filterPattern)}}, initialName);
    if (!chosen) return std::nullopt;
    return std::move(chosen->path);
}

std::optional<SaveChoice> QtUserPrompts::askSaveFile(const std::vector<SaveFileType>& types,
                                                     std::string_view initialName) {
    if (types.empty()) return std::nullopt;
    QFileDialog dialog(owner_);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    QStringList filters, patterns, suffixes;
    for (const SaveFileType& type : types) {
        QString description = qs(type.description);
        const QString pattern = qs(type.pattern);
        if (!description.contains(pattern)) description += QStringLiteral(" (%1)").arg(pattern);
        filters << description;
        patterns << pattern;
        // "name" becomes "name.avi" before the dialogue checks whether it would replace a file.
        const bool single =
            pattern.startsWith(QStringLiteral("*.")) && !pattern.contains(QLatin1Char(';'));
        suffixes << (single ? pattern.mid(2) : QString());
    }
    dialog.setNameFilters(filters);
    QSettings settings;
    const int kind =
        std::max(0, static_cast<int>(patterns.indexOf(settings.value(kVideoKindKey).toString())));
    dialog.selectNameFilter(filters[kind]);
    dialog.setDefaultSuffix(suffixes[kind]);
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
        dialog.setDefaultSuffix(suffixes.value(filters.indexOf(filter)));
    });
    const QString folder = settings.value(kVideoFolderKey).toString();
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) dialog.setDirectory(folder);
    // A wildcard as the initial name only repeats the filter.
    const QString initial = qs(initialName);
    if (!initial.contains(QLatin1Char('*'))) dialog.selectFile(initial);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const QString chosen = dialog.selectedFiles().constFirst();
    const int type = std::max(0, static_cast<int>(filters.indexOf(dialog.selectedNameFilter())));
    settings.setValue(kVideoKindKey, patterns[type]);
    settings.setValue(kVideoFolderKey, QFileInfo(chosen).absolutePath());
    return SaveChoice{utf8(chosen), static_cast<std::size_t>(type)};
}

std::optional<CodecChoice> QtUserPrompts::chooseCodec(const std::vector<CodecOption>& codecs) {
    QSettings settings;
    std::optional<CodecChoice> last;
    if (settings.contains(kCodecKey))
        last = CodecChoice{utf8(settings.value(kCodecKey).toString()),
                           settings.value(kQualityKey).toInt()};
    CodecDialog dialog(codecs, last, owner_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const CodecChoice choice = dialog.choice();
    settings.setValue(kCodecKey, qs(choice.name));
    settings.setValue(kQualityKey, choice.quality);
    return choice;
}

}  // namespace vorlix
