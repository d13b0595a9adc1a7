// SPDX-License-Identifier: MIT
// Whether two names, or an open file and a name, are one file: the same device and inode, so
// hard links, symbolic links and other spellings of a path all count as that file.
#pragma once

#include <string>

namespace kelvanto {

// False when either name does not exist (or is empty).
bool isSameFile(const std::string& first, const std::string& second);
bool isSameFile(int fd, const std::string& name);

}  // namespace kelvanto
