// One application object for every test, and a hard exit after them: libpulse may abort in
// static destructors once Qt Multimedia was used.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();  // no display for that
    QApplication app(argc, argv);
    const int rc = RUN_ALL_TESTS();
    std::fflush(nullptr);
    ::_exit(rc);
}
