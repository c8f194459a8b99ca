// Vorlix: narration over slides into one video.
#include <QApplication>

#include "app/recorder_app.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vorlix"));
    QApplication::setDesktopFileName(QStringLiteral("vorlix"));
    return vorlix::RecorderApp().run();
}
