// SPDX-License-Identifier: MIT
// Reading a tape image for kelvanto-tape: quietly (no screen files, no detail lines), with a
// reader failure reported as the file, the place in it and the reader's own message.
#pragma once

#include <memory>
#include <string>

#include "tape/tarqo_bin_file.h"

// Reads the whole tape image or throws CommandError: "byte N (line L): reason" for markup,
// "byte N: reason" for binary bytes. The name "-" reads standard input.
std::unique_ptr<TarqoBinFile> readTapeImage(const std::string& name);
