// The application: the main window, what it is wired to, and its run until the window closes.
#pragma once

namespace vorlix {

class RecorderApp {
public:
    // Opens the main window and returns the program's exit code when it has closed.
    // A QApplication must exist.
    int run();
};

}  // namespace vorlix
