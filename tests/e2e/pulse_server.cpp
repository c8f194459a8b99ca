#include "tests/e2e/pulse_server.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <thread>
#include <utility>

#include "tests/support/scratch_dir.h"

extern char** environ;

namespace vorlix::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// This process's environment with the given entries added or replaced.
std::vector<std::string> mergedEnv(const std::vector<std::string>& extra) {
    std::map<std::string, std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        env[entry.substr(0, entry.find('='))] = entry;
    }
    for (const auto& entry : extra) env[entry.substr(0, entry.find('='))] = entry;
    std::vector<std::string> out;
    for (auto& [name, entry] : env) out.push_back(std::move(entry));
    return out;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (auto& s : strings) p.push_back(s.data());
    return p.push_back(nullptr), p;
}

}  // namespace

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}

bool ChildProcess::start(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extraEnv, const std::string& logPath,
                         const std::string& stdinPath) {
    kill();
    // Everything the child needs is made before fork: after it only system calls are safe.
    std::vector<std::string> args = argv;
    std::vector<std::string> env = mergedEnv(extraEnv);
    std::vector<char*> argp = pointers(args);
    std::vector<char*> envp = pointers(env);
    const std::string in = stdinPath.empty() ? "/dev/null" : stdinPath;
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        // Die with the test, even when it crashes before it could clean up.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(126);
        const int inFd = ::open(in.c_str(), O_RDONLY);
        const int outFd = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (inFd < 0 || outFd < 0) ::_exit(126);
        ::dup2(inFd, 0);
        ::dup2(outFd, 1);
        ::dup2(outFd, 2);
        ::execvpe(argp[0], argp.data(), envp.data());
        ::_exit(127);
    }
    pid_ = pid;
    return true;
}

bool ChildProcess::running() {
    return pid_ > 0 && wait(0ms) == -1;
}

int ChildProcess::wait(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return -1;
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_ || (r < 0 && errno == ECHILD)) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (std::chrono::steady_clock::now() >= until) return -1;
        std::this_thread::sleep_for(5ms);
    }
}

void ChildProcess::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    if (wait(3s) != -1) return;
    ::kill(pid_, SIGKILL);
    wait(10s);
    pid_ = -1;
}

int runProgram(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
               const std::string& logPath, std::chrono::milliseconds timeout) {
    ChildProcess child;
    if (!child.start(argv, extraEnv, logPath)) return -1;
    return child.wait(timeout);
}

PulseServer::PulseServer() {
    std::string pattern = (fs::temp_directory_path() / "vorlix-pulse-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) folder_ = pattern;
    runtimeDir_ = folder_ + "/run";
    fs::create_directories(runtimeDir_);
    fs::permissions(runtimeDir_, fs::perms::owner_all, fs::perm_options::replace);
}

PulseServer::~PulseServer() {
    players_.clear();
    keepalive_.kill();
    server_.kill();
    std::error_code ec;
    if (!folder_.empty()) fs::remove_all(folder_, ec);
}

std::vector<std::string> PulseServer::clientEnv() const {
    // HOME and the config folder too, so nothing of the machine's own setup leaks in or out.
    return {"XDG_RUNTIME_DIR=" + runtimeDir_, "PULSE_SERVER=unix:" + runtimeDir_ + "/pulse/native",
            "HOME=" + folder_, "XDG_CONFIG_HOME=" + folder_ + "/config"};
}

bool PulseServer::start() {
    if (folder_.empty()) {
        error_ = "no folder for the sound server";
        return false;
    }
    const std::vector<std::string> argv = {
        "pulseaudio",
        "-n",
        "--daemonize=no",
        "--exit-idle-time=-1",
        "--use-pid-file=no",
        "--log-target=file:" + runtimeDir_ + "/pa.log",
        "-L",
        "module-native-protocol-unix auth-anonymous=1 socket=" + runtimeDir_ + "/pulse/native",
        "-L",
        "module-null-sink sink_name=lecture",
        "-L",
        "module-remap-source master=lecture.monitor source_name=mic channels=1 channel_map=mono"};
    fs::create_directories(runtimeDir_ + "/pulse");
    if (!server_.start(argv, clientEnv(), folder_ + "/pulseaudio.out")) {
        error_ = "pulseaudio could not be started";
        return false;
    }
    if (!waitForServer(20s)) {
        error_ = "pulseaudio did not answer: " + log();
        return false;
    }
    runProgram({"pactl", "set-default-source", "mic"}, clientEnv(), folder_ + "/pactl.out");
    // Without a stream the null sink works in two-second blocks and the first sound is late.
    if (!keepalive_.start({"paplay", "--raw", "--format=s16le", "--rate=44100", "--channels=1",
                           "--latency-msec=20", "--device=lecture"},
                          clientEnv(), folder_ + "/keepalive.out", "/dev/zero")) {
        error_ = "the keepalive stream could not be started";
        return false;
    }
    ::setenv("XDG_RUNTIME_DIR", runtimeDir_.c_str(), 1);
    ::setenv("PULSE_SERVER", ("unix:" + runtimeDir_ + "/pulse/native").c_str(), 1);
    return true;
}

void PulseServer::pointAtNoServer() {
    ::setenv("XDG_RUNTIME_DIR", runtimeDir_.c_str(), 1);
    ::setenv("PULSE_SERVER", ("unix:" + runtimeDir_ + "/pulse/none").c_str(), 1);
}

bool PulseServer::waitForServer(std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < until) {
        if (!server_.running()) return false;
        if (runProgram({"pactl", "info"}, clientEnv(), folder_ + "/pactl.out", 5s) == 0)
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

bool PulseServer::play(const std::string& file) {
    ChildProcess player;
    if (!player.start({"paplay", "--device=lecture", file}, clientEnv(), folder_ + "/paplay.out"))
        return false;
    players_.push_back(std::move(player));
    return true;
}

void PulseServer::stopPlaying() {
    players_.clear();
}

void PulseServer::kill() {
    players_.clear();
    keepalive_.kill();
    if (server_.pid() > 0) ::kill(server_.pid(), SIGKILL);
    server_.wait(10s);
}

std::string PulseServer::log() const {
    return readText(runtimeDir_ + "/pa.log") + readText(folder_ + "/pulseaudio.out");
}

}  // namespace vorlix::testing
