#include "common/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vorlix {

std::string systemReason(int error) {
    return std::strerror(error);
}

std::size_t readUpTo(int fd, std::uint8_t* to, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = ::read(fd, to + got, count - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

std::string causeLine(const std::string& path, const std::string& reason) {
    return reason.empty() ? path : path + ": " + reason;
}

int openRegularFile(const std::string& path, std::string* reason) {
    // Non-blocking only for the open itself: opening a FIFO without a writer would wait.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (reason != nullptr) *reason = systemReason(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (reason != nullptr)
            *reason = S_ISDIR(st.st_mode) ? systemReason(EISDIR) : "not a regular file";
        ::close(fd);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

std::FILE* openRegularStream(const std::string& path, std::string* reason) {
    const int fd = openRegularFile(path, reason);
    if (fd < 0) return nullptr;
    std::FILE* f = ::fdopen(fd, "rb");
    if (f == nullptr) {
        if (reason != nullptr) *reason = systemReason(errno);
        ::close(fd);
    }
    return f;
}

}  // namespace vorlix
