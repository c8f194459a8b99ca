// The microphone in the window: the choice in the context menu (the default input and every input
// by its description; closed to changes while a lecture records), the input in use named in the
// level field's tooltip, and the message when the remembered input is gone.
#pragma once

#include <QAudioDevice>
#include <QString>

#include "app/microphone_choice.h"

class QMenu;

namespace vorlix {

class LectureController;
class QtWaveInput;
class RecorderDialog;
class UserPrompts;

class MicrophoneMenu {
  public:
    // All four must outlive this object. Opens nothing itself; the device asks at each Start.
    MicrophoneMenu(RecorderDialog& dialog, LectureController& controller, QtWaveInput& device,
                   UserPrompts& prompts);

    // Adds the microphone submenu to a context menu.
    void fill(QMenu& menu);

  private:
    QAudioDevice pick();
    void showInput(const QAudioDevice& device);
    void afterStart();

    RecorderDialog& dialog_;
    LectureController& controller_;
    UserPrompts& prompts_;
    MicrophoneChoice choice_;
    QString missing_;  // the chosen input, gone at the last Start
    QString fallback_;
};

}  // namespace vorlix
