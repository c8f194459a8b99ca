#include "app/microphone_menu.h"

#include <QActionGroup>
#include <QLineEdit>
#include <QMenu>
#include <utility>

#include "app/qt_text.h"
#include "app/qt_wave_input.h"
#include "app/recorder_dialog.h"
#include "common/user_prompts.h"
#include "controller/lecture_controller.h"
#include "resources/texts.h"

namespace vorlix {

MicrophoneMenu::MicrophoneMenu(RecorderDialog& dialog, LectureController& controller,
                               QtWaveInput& device, UserPrompts& prompts)
    : dialog_(dialog), controller_(controller), prompts_(prompts) {
    dialog_.setMenuExtension([this](QMenu& menu) { fill(menu); });
    device.setInputChooser([this] { return pick(); });
    // Connected after the window's own Start: the message comes once the lecture runs.
    QObject::connect(&dialog_, &RecorderDialog::startRequested, &dialog_, [this] { afterStart(); });
    showInput(choice_.resolve().device);
}

QAudioDevice MicrophoneMenu::pick() {
    const MicrophoneChoice::Resolution r = choice_.resolve();
    missing_ = r.missing;
    fallback_ = r.device.description();
    showInput(r.device);
    return r.device;
}

void MicrophoneMenu::afterStart() {
    if (missing_.isEmpty()) return;
    const QString missing = std::exchange(missing_, QString());
    if (!controller_.lectureRunning()) return;
    prompts_.showMessage(utf8(qs(texts::kMicrophoneMissingFormat).arg(missing, fallback_)));
}

void MicrophoneMenu::showInput(const QAudioDevice& device) {
    dialog_.levelField()->setToolTip(
        qs(texts::kMicrophoneTooltipFormat)
            .arg(device.isNull() ? qs(texts::kNoMicrophone) : device.description()));
}

void MicrophoneMenu::fill(QMenu& menu) {
    QMenu* sub = menu.addMenu(qs(texts::kMicrophoneMenu));
    // The device is open for the whole lecture: a new choice counts from the next Start.
    sub->setEnabled(!controller_.lectureRunning());
    auto* group = new QActionGroup(sub);
    const QList<QAudioDevice> inputs = MicrophoneChoice::inputs();
    const QByteArray chosen = choice_.chosenId();
    bool chosenPresent = false;
    for (const QAudioDevice& d : inputs) chosenPresent |= d.id() == chosen;

    const QAudioDevice standard = MicrophoneChoice::serverDefault();
    const auto add = [&](const QString& text, const QAudioDevice& device, bool checked) {
        QAction* action = sub->addAction(text);
        action->setCheckable(true);
        action->setChecked(checked);
        group->addAction(action);
        QObject::connect(action, &QAction::triggered, sub, [this, device] {
            choice_.choose(device);
            showInput(device.isNull() ? MicrophoneChoice::serverDefault() : device);
        });
    };
    add(qs(texts::kDefaultMicrophoneFormat)
            .arg(standard.isNull() ? qs(texts::kNoMicrophone) : standard.description()),
        QAudioDevice(), !chosenPresent);
    sub->addSeparator();
    for (const QAudioDevice& d : inputs) add(d.description(), d, chosenPresent && d.id() == chosen);
}

}  // namespace vorlix
