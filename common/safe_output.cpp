#include "common/safe_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/regular_file.h"

namespace vorlix {

SafeOutput::~SafeOutput() {
    discard();
}

bool SafeOutput::sameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (a.empty() || b.empty() || ::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) {
        return false;
    }
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool SafeOutput::begin(const std::string& finalPath, const std::vector<std::string>& inputs,
                       std::string& reason) {
    discard();
    for (const std::string& input : inputs) {
        if (sameFile(finalPath, input)) {
            reason = "the output is an input: " + input;
            return false;
        }
    }
    namespace fs = std::filesystem;
    // A link is written through: the file it points to is replaced, the link stays.
    std::error_code ec;
    fs::path target(finalPath);
    if (fs::is_symlink(target, ec)) {
        const fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec) target = resolved;
    }
    final_ = target.string();
    const fs::path folder = target.parent_path();
    const std::string stem = "." + target.filename().string() + ".";
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name =
            stem + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".part";
        const std::string path = (folder / name).string();
        // Created here, exclusively, so the writer never follows a link planted under the name.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            temp_ = path;
            return true;
        }
        if (errno != EEXIST) {
            reason = systemReason(errno);
            return false;
        }
    }
    reason = systemReason(EEXIST);
    return false;
}

bool SafeOutput::commit(std::string& reason) {
    if (temp_.empty()) {
        reason = "nothing written";
        return false;
    }
    if (std::rename(temp_.c_str(), final_.c_str()) != 0) {
        reason = systemReason(errno);
        discard();
        return false;
    }
    temp_.clear();
    return true;
}

void SafeOutput::discard() {
    if (temp_.empty()) return;
    ::unlink(temp_.c_str());
    temp_.clear();
}

}  // namespace vorlix
