// The program's questions and messages as Qt dialogues over the main window.
#pragma once

#include <QPointer>
#include <QWidget>

#include "common/user_prompts.h"

namespace vorlix {

class QtUserPrompts : public UserPrompts {
public:
    explicit QtUserPrompts(QWidget* owner);
    // The window the dialogues belong to.
    void setOwner(QWidget* owner) { owner_ = owner; }

    void showMessage(std::string_view text, std::string_view caption = {}) override;
    bool askYesNo(std::string_view text) override;
    std::optional<std::string> chooseFolder(std::string_view title) override;
    std::optional<std::string> askSavePath(std::string_view filterDescription,
                                           std::string_view filterPattern,
                                           std::string_view initialName) override;
    // Opens in the folder last saved to, with the kind last chosen; the name's extension
    // follows the kind chosen. Both are remembered across runs.
    std::optional<SaveChoice> askSaveFile(const std::vector<SaveFileType>& types,
                                          std::string_view initialName) override;
    // Offers the codec and quality last chosen (remembered across runs).
    std::optional<CodecChoice> chooseCodec(const std::vector<CodecOption>& codecs) override;

private:
    QPointer<QWidget> owner_;
};

}  // namespace vorlix
