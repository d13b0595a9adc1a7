// SPDX-License-Identifier: MIT
// The kelvanto-tape binary beside the test binaries, for tests that run it inside a shell
// pipeline (standard input from a file, standard output into a reader that leaves early).
#pragma once

#include <filesystem>
#include <string>

namespace testing_support {

inline std::string kelvantoTapeBinary() {
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    return (self.parent_path().parent_path() / "kelvanto-tape").string();
}

// A word quoted for /bin/sh.
inline std::string shellQuoted(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

}  // namespace testing_support
