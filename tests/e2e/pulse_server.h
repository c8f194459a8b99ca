// A PulseAudio server of the test's own, so end-to-end tests have a real microphone on a machine
// without sound hardware or a desktop session: a null sink "lecture" whose monitor is remapped
// into a real mono source "mic" (the one input Qt sees), fed by a keepalive stream of silence so
// that capture starts at once, and files played into the sink on request.
//
// Everything runs in a runtime folder of its own and is killed and removed when the object goes,
// also when a test fails; the children also die with the test process if it crashes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace vorlix::testing {

// A program the test started. Killed and reaped when the handle goes.
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess() { kill(); }
    ChildProcess(ChildProcess&& other) noexcept;

    // argv[0] is looked up on the PATH; extraEnv ("NAME=value") is added to this process's
    // environment. stdin comes from stdinPath (empty: /dev/null); output goes to logPath.
    bool start(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
               const std::string& logPath, const std::string& stdinPath = {});
    bool running();
    // Waits for the exit; the exit status, or -1 on timeout (the child keeps running).
    int wait(std::chrono::milliseconds timeout);
    void kill();
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
};

// Runs a program to its end; its exit status, or -1 when it could not run or took too long.
int runProgram(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
               const std::string& logPath,
               std::chrono::milliseconds timeout = std::chrono::seconds(30));

class PulseServer {
  public:
    PulseServer();
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // Starts the server with sink and microphone and the keepalive, and points this process
    // (XDG_RUNTIME_DIR, PULSE_SERVER) at it. Call before Qt Multimedia is first used. On
    // failure, error() says why.
    bool start();
    // Points this process at a server that does not exist, for tests without a microphone.
    void pointAtNoServer();

    // Plays a sound file into the sink in the background.
    bool play(const std::string& file);
    // Ends every playing file (the keepalive stays).
    void stopPlaying();
    // Kills the server, as when it crashes under a running program.
    void kill();

    // The folder for the test's own files; removed with the server.
    const std::string& folder() const { return folder_; }
    const std::string& error() const { return error_; }
    // The server's log, for failure messages.
    std::string log() const;

  private:
    std::vector<std::string> clientEnv() const;
    bool waitForServer(std::chrono::milliseconds timeout);

    std::string folder_;
    std::string runtimeDir_;
    std::string error_;
    ChildProcess server_;
    ChildProcess keepalive_;
    std::vector<ChildProcess> players_;
};

}  // namespace vorlix::testing
