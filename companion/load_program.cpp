// SPDX-License-Identifier: MIT
// A program in a load's data, else in its characters on tape: a binary load sends its two
// halves interleaved bit by bit, so its data holds a program only as the receiver reads it.
#include "companion/load_program.h"

#include <algorithm>

#include "base/machine.h"
#include "tape/load_layout.h"

std::optional<BasicProgram> programOf(const TapeLoad& load) {
    return programOf(load, loadLayout::sentCharacters(load));
}

std::optional<BasicProgram> programOf(const TapeLoad& load, const LoadCharacters& sent) {
    // An odd length leaves one more position in the last pair, where a program's closing
    // 0xFF may stand.
    const int length = std::max(0, load.getLength());
    if (auto program = findBasicProgram(load, static_cast<std::size_t>(length + length % 2))) {
        return program;
    }
    const std::size_t count = std::min<std::size_t>(sent.characters.size(), machine::loadDataSize);
    return findBasicProgram(sent.characters.data(), count);
}
