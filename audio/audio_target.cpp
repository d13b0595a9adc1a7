// SPDX-License-Identifier: MIT
// The audio file's way to disk (audio_target.h): the checks of the target, the temporary file
// beside it and the rename that replaces the target in one step.
#include "audio/audio_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/fatal.h"
#include "base/messages.h"
#include "base/output_path.h"
#include "base/same_file.h"
#include "base/temporary_files.h"

namespace {

// mkstemp() makes a file only its owner can read; the audio file gets the mode any new file
// would get.
mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

[[noreturn]] void refuseOpening(const std::string& name) {
    kelvanto::fatal(messages::unableToOpen(name));
}

// A character device (/dev/null, a terminal) is written as it is. It is opened without
// waiting and checked again once open, in case the name changed in between.
std::FILE* openDevice(const std::string& name) {
    const int fd = ::open(name.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat opened {};
    if (fd < 0 || ::fstat(fd, &opened) != 0 || !S_ISCHR(opened.st_mode)) {
        if (fd >= 0) {
            ::close(fd);
        }
        refuseOpening(name);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    std::FILE* stream = nullptr;
    if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1 ||
        (stream = ::fdopen(fd, "wb")) == nullptr) {
        ::close(fd);
        refuseOpening(name);
    }
    return stream;
}

}  // namespace

std::FILE* AudioTarget::open(const std::string& name, const std::string& protectedInput) {
    abandon();
    target = name;
    mode_t mode = newFileMode();
    struct stat found {};
    if (::stat(name.c_str(), &found) == 0) {
        if (kelvanto::isSameFile(name, protectedInput)) {
            kelvanto::fatal("Input and output are the same file " + name + "\n");
        }
        if (S_ISCHR(found.st_mode)) {
            return openDevice(name);
        }
        if (S_ISDIR(found.st_mode)) {
            refuseOpening(name);
        }
        // A FIFO could only take a file whose sizes are never patched, and would wait for a
        // reader; sockets and block devices are no place for a recording either.
        if (!S_ISREG(found.st_mode)) {
            kelvanto::fatal("Audio file " + name + " is not a regular file\n");
        }
        // A replaced file keeps the permissions its owner gave it.
        mode = found.st_mode & 0777;
        // A link stays a link: the file it leads to is the one replaced.
        target = kelvanto::linkedTarget(name);
    } else if (errno == ENOENT) {
        // A link whose file does not exist yet makes that file.
        target = kelvanto::linkedTarget(name);
    } else {
        refuseOpening(name);
    }

    std::string pattern = kelvanto::temporaryNameBeside(target);
    int fd = -1;
    {
        // Made and registered as one step: a signal in between would leave the file behind.
        kelvanto::SignalHold hold;
        fd = ::mkstemp(pattern.data());
        if (fd >= 0 && !kelvanto::registerTemporaryFile(pattern.c_str())) {
            ::close(fd);
            ::unlink(pattern.c_str());
            fd = -1;
        }
    }
    if (fd < 0) {
        target.clear();
        refuseOpening(name);
    }
    temporary = pattern;
    std::FILE* stream = nullptr;
    if (::fchmod(fd, mode) != 0 || (stream = ::fdopen(fd, "wb")) == nullptr) {
        ::close(fd);
        abandon();
        refuseOpening(name);
    }
    return stream;
}

bool AudioTarget::commit() {
    bool placed = true;
    if (!temporary.empty()) {
        kelvanto::SignalHold hold;
        placed = ::rename(temporary.c_str(), target.c_str()) == 0;
        if (!placed) {
            ::unlink(temporary.c_str());
        }
        kelvanto::forgetTemporaryFile(temporary.c_str());
    }
    temporary.clear();
    target.clear();
    return placed;
}

void AudioTarget::abandon() noexcept {
    if (!temporary.empty()) {
        kelvanto::SignalHold hold;
        ::unlink(temporary.c_str());
        kelvanto::forgetTemporaryFile(temporary.c_str());
    }
    temporary.clear();
    target.clear();
}
