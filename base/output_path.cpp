// SPDX-License-Identifier: MIT
// Link targets, temporary names and placing finished files (output_path.h).
#include "base/output_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace kelvanto {

namespace {

// A folder entry holds at most this many bytes.
constexpr std::size_t maxEntryLength = 255;
constexpr const char* uniqueSuffix = ".XXXXXX";
// The system's own bound on a chain of links (ELOOP).
constexpr int maxLinks = 40;

std::string folderPart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

}  // namespace

std::string linkedTarget(const std::string& name) {
    char resolved[PATH_MAX];
    if (::realpath(name.c_str(), resolved) != nullptr) {
        struct stat entry {};
        // Only a link is resolved: a plain name keeps its own spelling (and its messages).
        return ::lstat(name.c_str(), &entry) == 0 && S_ISLNK(entry.st_mode) ? resolved : name;
    }
    // A link to a file that does not exist yet: follow the chain by hand.
    std::string path = name;
    for (int step = 0; step < maxLinks; ++step) {
        struct stat entry {};
        if (::lstat(path.c_str(), &entry) != 0 || !S_ISLNK(entry.st_mode)) {
            return path;
        }
        std::vector<char> text(PATH_MAX + 1);
        const ssize_t length = ::readlink(path.c_str(), text.data(), PATH_MAX);
        if (length <= 0) {
            return path;
        }
        const std::string destination(text.data(), static_cast<std::size_t>(length));
        path = destination[0] == '/' ? destination : folderPart(path) + destination;
    }
    return name;
}

std::string temporaryNameBeside(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t room = maxEntryLength - 1 - std::char_traits<char>::length(uniqueSuffix);
    return path.substr(0, start) + "." + path.substr(start, room) + uniqueSuffix;
}

int placeFile(const std::string& temporary, const std::string& target, bool replace) {
    if (replace ? ::rename(temporary.c_str(), target.c_str()) == 0
                : ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(),
                              RENAME_NOREPLACE) == 0) {
        return 0;
    }
    int error = errno;
    if (!replace && (error == EINVAL || error == ENOSYS || error == ENOTSUP)) {
        // A file system without RENAME_NOREPLACE: a hard link is made only where no entry
        // is, so it decides the race as well.
        error = ::link(temporary.c_str(), target.c_str()) == 0 ? 0 : errno;
    }
    ::unlink(temporary.c_str());
    return error;
}

}  // namespace kelvanto
