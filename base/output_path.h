// SPDX-License-Identifier: MIT
// Where a finished output file goes: the file a name leads to through its symbolic links, the
// hidden temporary name beside it, and placing the temporary file there with or without
// replacing what is already there.
#pragma once

#include <string>

namespace kelvanto {

// The path that writing to `name` replaces: the name itself, or, when it is a symbolic link
// (also one whose file does not exist yet), the file the chain of links leads to. A link
// stays a link; the file behind it gets the new contents.
std::string linkedTarget(const std::string& name);

// A hidden name in the same folder, ".NAME.XXXXXX" (for mkstemp), with NAME cut so that the
// entry never exceeds the 255 bytes a folder entry holds: a valid target name always has a
// valid temporary name. The same folder means the same file system, which rename() needs.
std::string temporaryNameBeside(const std::string& path);

// Puts the complete file `temporary` in place as `target`. With replace, an existing target
// is replaced in one step (rename). Without, the target is created only if it does not exist
// (renameat2 with RENAME_NOREPLACE, or link() where that is not supported), so of two runs
// that race for one new name exactly one wins; the other gets EEXIST. Returns 0 or the
// errno; the temporary file is gone either way.
int placeFile(const std::string& temporary, const std::string& target, bool replace);

}  // namespace kelvanto
