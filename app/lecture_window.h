// The main window wired to the lecture: buttons and keys to the controller, the controller's view
// onto the window's controls, the progress window while a video is written, and the question
// before the window closes during a lecture.
#pragma once

#include <memory>

#include "app/qt_conversion_progress.h"
#include "app/qt_lecture_view.h"
#include "app/recorder_dialog.h"
#include "controller/lecture_controller.h"

namespace vorlix {

class UserPrompts;
class WaveInput;

class LectureWindow {
public:
    // Prompts and device must outlive the window.
    LectureWindow(UserPrompts& prompts, WaveInput& device);

    RecorderDialog& dialog() { return dialog_; }
    LectureController& controller() { return controller_; }

private:
    RecorderDialog dialog_;
    QtLectureView view_;
    QtConversionProgress progress_;
    QtConversionProgress slidesProgress_;
    LectureController controller_;
};

}  // namespace vorlix
