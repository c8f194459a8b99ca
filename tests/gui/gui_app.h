// The QApplication of the widget tests, made on first use and never destroyed.
#pragma once

#include <QApplication>

#include "app/qt_lecture_view.h"

namespace vorlix::test {

inline QApplication& guiApp() {
    static int argc = 1;
    static char name[] = "vorlix_gui_tests";
    static char* argv[] = {name, nullptr};
    // Lives to the end of the process: Qt's own exit handlers still reach it.
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        initResources();
        return a;
    }();
    return *app;
}

}  // namespace vorlix::test
