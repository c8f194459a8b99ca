// The end-to-end tests' own main: one application object for every test (Qt allows one per
// process), on an X server of the test's own (Xvfb) unless the environment names a display or a
// platform, the offscreen platform where Xvfb cannot start, and a hard exit after the tests,
// because libpulse may abort in static destructors once Qt Multimedia was used.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Starts Xvfb on a free display and returns its pid (0 when it did not start); sets DISPLAY.
pid_t startXvfb() {
    int fds[2];
    if (::pipe(fds) != 0) return 0;
    const pid_t pid = ::fork();
    if (pid < 0) return 0;
    if (pid == 0) {
        ::close(fds[0]);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives the test
        const std::string fd = std::to_string(fds[1]);
        std::freopen("/dev/null", "w", stderr);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
                 "-nolisten", "tcp", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    // Xvfb writes its display number once it accepts clients.
    std::string number;
    char c;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    if (number.empty()) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return 0;
    }
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
    return pid;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    pid_t xvfb = 0;
    const bool listing = ::testing::GTEST_FLAG(list_tests);
    if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr) {
        if (!listing) xvfb = startXvfb();
        if (xvfb == 0) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    const int rc = RUN_ALL_TESTS();
    std::fflush(nullptr);
    if (xvfb != 0) ::kill(xvfb, SIGTERM);
    ::_exit(rc);
}
