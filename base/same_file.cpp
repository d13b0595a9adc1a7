// SPDX-License-Identifier: MIT
// File identity by device and inode (same_file.h).
#include "base/same_file.h"

#include <sys/stat.h>

namespace kelvanto {

namespace {

bool sameIdentity(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool isSameFile(const std::string& first, const std::string& second) {
    struct stat a {};
    struct stat b {};
    return !first.empty() && !second.empty() && ::stat(first.c_str(), &a) == 0 &&
           ::stat(second.c_str(), &b) == 0 && sameIdentity(a, b);
}

bool isSameFile(int fd, const std::string& name) {
    struct stat a {};
    struct stat b {};
    return !name.empty() && ::fstat(fd, &a) == 0 && ::stat(name.c_str(), &b) == 0 &&
           sameIdentity(a, b);
}

}  // namespace kelvanto
