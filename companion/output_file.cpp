// Complete-or-nothing output files and standard output for kelvanto-tape.
#include "companion/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/same_file.h"
#include "base/temporary_files.h"
#include "companion/command_error.h"
#include "companion/standard_streams.h"

namespace {

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

std::string folderOf(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : name.substr(0, slash);
}

std::string baseOf(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

}  // namespace

void writeOutputFile(const std::string& name, const std::string& bytes, bool force,
                     const std::string& inputName) {
    if (name == "-") {
        std::fflush(stdout);
        writeStandardOutput(bytes.data(), bytes.size());
        return;
    }
    if (!inputName.empty() && kelvanto::isSameFile(name, inputName)) {
        throw CommandError(name, "is the input file; choose another output name");
    }
    struct stat status {};
    if (::stat(name.c_str(), &status) == 0) {
        if (!force) {
            throw CommandError(name, "File exists (use --force to replace it)");
        }
        if (!S_ISREG(status.st_mode)) {
            throw CommandError(name, "Not a regular file");
        }
    }
    std::string temporary = folderOf(name) + "/." + baseOf(name) + ".XXXXXX";
    // Created and registered as one step, so an interrupted run removes it.
    int fd = -1;
    {
        kelvanto::SignalHold hold;
        fd = ::mkstemp(temporary.data());
        if (fd >= 0) {
            kelvanto::registerTemporaryFile(temporary.c_str());
        }
    }
    if (fd < 0) {
        throw CommandError(name, std::strerror(errno));
    }
    // mkstemp makes the file private; give it the mode any new file of the user gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool ok = ::fchmod(fd, 0666 & ~mask) == 0 && writeAll(fd, bytes);
    const int error = errno;
    ok = ::close(fd) == 0 && ok;
    kelvanto::SignalHold hold;
    if (!ok || ::rename(temporary.c_str(), name.c_str()) != 0) {
        const int reason = ok ? errno : error;
        ::unlink(temporary.c_str());
        kelvanto::forgetTemporaryFile(temporary.c_str());
        throw CommandError(name, std::strerror(reason != 0 ? reason : EIO));
    }
    kelvanto::forgetTemporaryFile(temporary.c_str());
}
