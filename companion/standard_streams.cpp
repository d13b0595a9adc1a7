// SPDX-License-Identifier: MIT
// Standard input read whole with a bound, standard output written whole, and the quiet end
// when the reader of a pipe leaves (SIGPIPE is ignored, so a write fails with EPIPE instead).
#include "companion/standard_streams.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "companion/command_error.h"

InputFile readStandardInput(std::size_t maxSize) {
    InputFile result;
    std::size_t length = 0;
    // A file given with < has its size known: the bytes then take one buffer, never copied
    // into a larger one as they would be from a pipe.
    struct stat info {};
    if (::fstat(STDIN_FILENO, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0 &&
        static_cast<unsigned long long>(info.st_size) < maxSize) {
        result.bytes.reserve(static_cast<std::size_t>(info.st_size) + 65536);
    }
    for (;;) {
        if (length == result.bytes.size()) {
            if (length > maxSize) {
                result.bytes.clear();
                result.status = InputFile::Status::tooLarge;
                result.reason = "larger than " + std::to_string(maxSize) + " bytes";
                return result;
            }
            result.bytes.resize(std::min(maxSize + 1, length + 65536));
        }
        const ssize_t count =
            ::read(STDIN_FILENO, result.bytes.data() + length, result.bytes.size() - length);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            result.bytes.clear();
            result.reason = std::strerror(errno);
            return result;
        }
        if (count == 0) {
            break;
        }
        length += static_cast<std::size_t>(count);
    }
    result.bytes.resize(length);
    result.status = InputFile::Status::read;
    return result;
}

void writeStandardOutput(const char* bytes, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t put = ::write(STDOUT_FILENO, bytes + done, size - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0 && errno == EPIPE) {
            throw OutputClosed{};
        }
        if (put <= 0) {
            throw CommandError(standardOutputName, std::strerror(put < 0 ? errno : EIO));
        }
        done += static_cast<std::size_t>(put);
    }
}

bool standardOutputClosed() {
    // The writing end of a pipe whose reading end is closed polls as an error at once.
    pollfd output{STDOUT_FILENO, POLLOUT, 0};
    return ::poll(&output, 1, 0) == 1 && (output.revents & (POLLERR | POLLHUP)) != 0;
}

std::string shownInputName(const std::string& name) {
    return name == "-" ? standardInputName : name;
}
