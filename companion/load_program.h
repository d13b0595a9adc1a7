// SPDX-License-Identifier: MIT
// The BASIC program a load holds, whatever its format and wherever it came from: in its data
// as a markup load has it, or in the characters the machine receives from it.
#pragma once

#include <optional>

#include "tape/basic_program.h"
#include "tape/load_layout.h"
#include "tape/tape_load.h"

// First the data as stored (a plain or screen load written as markup); then the characters
// on tape in the order received, which is where the program of a binary load (its halves
// interleaved) or of a load decoded from a recording stands.
std::optional<BasicProgram> programOf(const TapeLoad& load);
// The same with the characters the load sends, worked out already.
std::optional<BasicProgram> programOf(const TapeLoad& load, const LoadCharacters& sent);
