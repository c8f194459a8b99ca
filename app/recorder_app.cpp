#include "app/recorder_app.h"

#include <QTimer>

#include "app/lecture_window.h"
#include "app/microphone_menu.h"
#include "app/qt_lecture_view.h"
#include "app/qt_user_prompts.h"
#include "app/qt_wave_input.h"

namespace vorlix {

int RecorderApp::run() {
    initResources();
    // The device outlives the window and its recorder, which close it when they go.
    QtWaveInput device;
    QtUserPrompts prompts(nullptr);
    LectureWindow window(prompts, device);
    prompts.setOwner(&window.dialog());
    // Once the window is up: a lecture a crash left without its video is offered first.
    QTimer::singleShot(0, &window.dialog(), [&window] { window.controller().recoverLectures(); });
    MicrophoneMenu microphone(window.dialog(), window.controller(), device, prompts);
    window.dialog().exec();
    return 0;
}

}  // namespace vorlix
