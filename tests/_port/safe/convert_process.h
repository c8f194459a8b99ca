// Runs the converter as its users do: a process with arguments, an exit status and its messages.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace vorlix::testing {

struct ProcessResult {
    int status = -1;
    std::string output;  // stdout and stderr together
};

inline std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline ProcessResult convert(const std::vector<std::string>& args) {
    std::string command = VORLIX_BINARY_DIR "/tools/vorlix-convert";
    for (const std::string& a : args) command += " " + shellQuote(a);
    command += " 2>&1 </dev/null";
    ProcessResult run;
    std::FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return run;
    std::array<char, 4096> buffer;
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), p)) > 0)
        run.output.append(buffer.data(), n);
    int rc = pclose(p);
    run.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return run;
}

}  // namespace vorlix::testing
