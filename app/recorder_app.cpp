#include "app/recorder_app.h"

#include "app/qt_lecture_view.h"
#include "app/qt_user_prompts.h"
#include "app/recorder_dialog.h"

namespace vorlix {

int RecorderApp::run() {
    initResources();
    RecorderDialog dialog;
    QtLectureView view(dialog);
    QtUserPrompts prompts(&dialog);
    dialog.exec();
    return 0;
}

}  // namespace vorlix
