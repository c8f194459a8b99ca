// Opening a file to read it, without ever blocking on it: a FIFO, a terminal or a device named
// as a slide, a narration or a timeline would otherwise hold the program at its open or its first
// read. Only regular files (also through links) are opened.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace vorlix {

// A read-only descriptor of a regular file, in blocking mode once checked; -1 on failure, with
// the system's reason (or "not a regular file") in *reason when given.
int openRegularFile(const std::string& path, std::string* reason = nullptr);

// Closes a descriptor when it goes out of scope.
struct FileCloser {
    int fd;
    ~FileCloser() {
        if (fd >= 0) ::close(fd);
    }
};

// The same as a stream ("rb"); null on failure.
std::FILE* openRegularStream(const std::string& path, std::string* reason = nullptr);

// Reads up to `count` bytes at the descriptor's current position; fewer only at its end or on
// an error.
std::size_t readUpTo(int fd, std::uint8_t* to, std::size_t count);

// "<path>: <reason>", the line a message adds under its own text.
std::string causeLine(const std::string& path, const std::string& reason);

// The system's text for an error number.
std::string systemReason(int error);

}  // namespace vorlix
