// Whole-file reads through the system's calls: open without blocking, check, read.
#include "base/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool readRegularFile(const std::string& name, std::size_t limit, std::string& bytes,
                     std::string& reason) {
    // O_NONBLOCK: a FIFO without a writer must not hold the open; it is refused below.
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    struct stat status {};
    bool ok = ::fstat(fd, &status) == 0;
    if (!ok) {
        reason = std::strerror(errno);
    } else if (!S_ISREG(status.st_mode)) {
        reason = S_ISDIR(status.st_mode) ? "Is a directory" : "Not a regular file";
        ok = false;
    } else if (static_cast<unsigned long long>(status.st_size) > limit) {
        reason = "File larger than " + std::to_string(limit / (1024 * 1024)) + " MB";
        ok = false;
    }
    bytes.clear();
    char block[1 << 16];
    while (ok) {
        const ssize_t got = ::read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            reason = std::strerror(errno);
            ok = false;
        } else if (got == 0) {
            break;
        } else if (bytes.size() + static_cast<std::size_t>(got) > limit) {
            // The file grew while it was read.
            reason = "File larger than " + std::to_string(limit / (1024 * 1024)) + " MB";
            ok = false;
        } else {
            bytes.append(block, static_cast<std::size_t>(got));
        }
    }
    ::close(fd);
    return ok;
}
