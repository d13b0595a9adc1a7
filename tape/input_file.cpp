// SPDX-License-Identifier: MIT
// Reading a tape image file whole: open without blocking, fstat, then read up to the bound.
// A tape image is small (a load holds 8192 bytes), so memory is the simplest place for it.
#include "tape/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/huge_pages.h"

namespace {

class FileDescriptor {
  public:
    explicit FileDescriptor(int value) : value(value) {}
    ~FileDescriptor() {
        if (value >= 0) {
            ::close(value);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return value; }

  private:
    int value;
};

}  // namespace

InputFile readInputFile(const std::string& fileName, std::size_t maxSize) {
    InputFile result;
    // O_NONBLOCK: opening a FIFO without a writer, or a device, returns at once.
    const FileDescriptor file(
        ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.get() < 0) {
        result.reason = std::strerror(errno);
        return result;
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        result.reason = std::strerror(errno);
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.reason = S_ISDIR(info.st_mode) ? std::strerror(EISDIR) : "Not a regular file";
        return result;
    }
    const std::string tooLarge = "larger than " + std::to_string(maxSize) + " bytes";
    if (info.st_size < 0 || static_cast<unsigned long long>(info.st_size) > maxSize) {
        result.status = InputFile::Status::tooLarge;
        result.reason = tooLarge;
        return result;
    }
    // The buffer has the file's exact size: read once, never grown or copied, unless the file
    // grows while it is read.
    result.bytes.reserve(static_cast<std::size_t>(info.st_size));
    // A tape image of several MB is touched in 2 MiB pages where the kernel gives them.
    kelvanto::adviseHugePages(result.bytes.data(), static_cast<std::size_t>(info.st_size));
    result.bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t length = 0;
    char probe[4096];
    for (;;) {
        const bool full = length == result.bytes.size();
        char* into = full ? probe : result.bytes.data() + length;
        const std::size_t room = full ? sizeof probe : result.bytes.size() - length;
        const ssize_t count = ::read(file.get(), into, room);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            // The end, or a read error: the reader then meets the end of what was read, as
            // it would have in the middle of a stream.
            break;
        }
        if (full) {
            // The file grew after fstat: take what came, up to one byte past the bound.
            if (length + static_cast<std::size_t>(count) > maxSize) {
                result.bytes.clear();
                result.status = InputFile::Status::tooLarge;
                result.reason = tooLarge;
                return result;
            }
            result.bytes.append(probe, static_cast<std::size_t>(count));
        }
        length += static_cast<std::size_t>(count);
    }
    result.bytes.resize(length);
    result.status = InputFile::Status::read;
    return result;
}
