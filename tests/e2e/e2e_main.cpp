// The end-to-end tests' own main: one application object for every test (Qt allows one per
// process), the offscreen platform unless the environment names a display, and a hard exit
// after the tests, because libpulse may abort in static destructors once Qt Multimedia was used.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    const int rc = RUN_ALL_TESTS();
    std::fflush(nullptr);
    ::_exit(rc);
}
