// SPDX-License-Identifier: MIT
// Which characters the receiver reads for a load, and which data makes a load send given
// characters. The conversion run, the tape-image writer, the lister and the decoder rest on it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "tape/tape_load.h"

// A load as the receiver reads it, after the sync character.
struct LoadCharacters {
    // Every character of every pair in the order sent: the data characters, the checksum,
    // and last the filler when there is one.
    std::vector<std::uint8_t> characters;
    // The last pair holds one character and a filler, which follows a 1 in place of its start
    // bit and is not counted in the sum.
    bool filler = false;
    // A binary load of length 0 sends no pair at all, so no checksum either.
    bool hasCheckSum = false;
    // The checksum that makes 0xA5 + all data characters + checksum equal 0xFF (mod 256),
    // and the one the tape image states.
    std::uint8_t computedCheckSum = 0;
    std::uint8_t statedCheckSum = 0;

    bool checkSumRight() const { return computedCheckSum == statedCheckSum; }
    // The data characters and the checksum: everything the sum counts.
    std::size_t countedCharacters() const { return characters.size() - (filler ? 1 : 0); }
};

namespace loadLayout {

// L: character positions of a load. Text loads send their data and one more position for the
// checksum; binary loads already hold their checksum.
int characterPositions(int format, int length);
// H: pairs sent, the ceiling of L / 2.
int halfLength(int format, int length);
// Where the second source of pair 0 stands: screen loads start their second half one byte
// before the middle, binary loads at H. Plain loads take each pair's bytes side by side.
int secondHalfStart(int format, int length);
// The characters pair j sends when its bytes are sent as the data holds them.
void dataCharacters(const TapeLoad& load, int j, std::uint8_t& first, std::uint8_t& second);

// What the conversion run sends: every pair from the data, the final one with the computed
// checksum (a binary load whose checksum is right sends its data unchanged, filler included).
LoadCharacters sentCharacters(const TapeLoad& load);

// The load of a format (plain or binary) that sends these counted characters (data
// characters and checksum last) and this filler. A plain load always sends the filler 0xFF
// and states the given checksum; a binary load holds it all in its data, so it sends exactly
// these characters whenever the checksum is right. Header, footer and gap are not set.
TapeLoad loadSending(int format, const std::vector<std::uint8_t>& counted,
                     std::optional<std::uint8_t> filler);

}  // namespace loadLayout
