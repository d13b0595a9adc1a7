// SPDX-License-Identifier: MIT
// Screen loads as the sender made them and as a recording returns them: each pair of
// characters on tape interleaves a byte of the first half with one of the screen.
#include "companion/screen_load.h"

#include <algorithm>

#include "base/bit_order.h"
#include "base/machine.h"
#include "tape/load_layout.h"

namespace {

// The characters of a full screen load: the first half's bytes interleaved with the screen's,
// two characters a pair, then the checksum.
constexpr std::size_t fullScreenCharacters = machine::screenLoadLength + 1;

}  // namespace

std::optional<LoadScreen> screenOf(const TapeLoad& load, bool named) {
    LoadScreen screen;
    if (load.getFormat() == machine::screenLoadFormat) {
        // The data as the load holds it, whether or not its length sends all of it.
        const long start = loadLayout::secondHalfStart(load.getFormat(), load.getLength());
        for (std::size_t i = 0; i < screen.bytes.size(); ++i) {
            screen.bytes[i] = load.byteAt(start + static_cast<long>(i));
        }
        screen.received = screen.bytes.size();
        return screen;
    }
    const LoadCharacters sent = loadLayout::sentCharacters(load);
    const std::size_t counted = sent.characters.empty() ? 0 : sent.countedCharacters();
    if (counted != fullScreenCharacters && !named) {
        return std::nullopt;
    }
    // The data pairs before the one that holds the checksum.
    screen.received = std::min(screen.bytes.size(), counted > 0 ? (counted - 1) / 2 : 0);
    // The receiver reads each interleaved byte reversed; interleaving is its own inverse.
    for (std::size_t k = 0; k < screen.received; ++k) {
        std::uint8_t firstHalf = 0;
        interleavePair(reverseBits(sent.characters[2 * k]), reverseBits(sent.characters[2 * k + 1]),
                       firstHalf, screen.bytes[k]);
    }
    return screen;
}

long firstScreenLoad(const TarqoBinFile& tape) {
    for (std::size_t i = 0; i < tape.loads.size(); ++i) {
        if (screenOf(tape.loads[i], false)) {
            return static_cast<long>(i) + 1;
        }
    }
    return 0;
}
