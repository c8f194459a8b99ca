// Vorlix: narration over slides into one video.
#include <unistd.h>

#include <QApplication>
#include <cstdio>

#include "app/recorder_app.h"
#include "video/frame_memory.h"

int main(int argc, char** argv) {
    vorlix::keepFrameBuffersMapped();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vorlix"));
    // Settings (the chosen microphone, the last slide folder) go to ~/.config/Vorlix/Vorlix.conf.
    QApplication::setOrganizationName(QStringLiteral("Vorlix"));
    QApplication::setDesktopFileName(QStringLiteral("vorlix"));
    const int rc = vorlix::RecorderApp().run();
    // libpulse may abort in static destructors once Qt Multimedia was used: leave without them.
    std::fflush(nullptr);
    ::_exit(rc);
}
