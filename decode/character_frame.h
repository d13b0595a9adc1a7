// SPDX-License-Identifier: MIT
// A character's frame as the framer reads it: the places of its cycles, the sync
// character's pattern and length, the longest load. Shared by the framer's parts.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <deque>

#include "base/machine.h"
#include "decode/bit.h"

namespace kelvanto::decode::frame {

// The cycles of a character: its start bit (index 0), its data bits least significant first
// (indices 1 to dataBits) and its stop bit (the last).
inline constexpr std::size_t characterCycles = machine::cyclesPerCharacter;
inline constexpr std::size_t dataBits = machine::dataBitsPerCharacter;
inline constexpr std::size_t stopIndex = characterCycles - 1;

// The sync character framed as every character is. Its bit pattern reads the same in both
// orders, so a reader that takes it most significant bit first finds it just the same.
inline constexpr std::array<int, characterCycles> syncPattern = [] {
    std::array<int, characterCycles> bits{};
    bits[0] = machine::startBit;
    for (std::size_t bit = 0; bit < dataBits; ++bit) {
        bits[bit + 1] = (machine::syncCharacter >> bit) & 1;
    }
    bits[stopIndex] = machine::stopBit;
    return bits;
}();
// Its length in units: a unit for each 1 cycle, half of one for each 0.
inline constexpr double syncUnits = [] {
    double units = 0.0;
    for (const int bit : syncPattern) {
        units += bit == Bit::one ? 1.0 : 0.5;
    }
    return units;
}();

// Whether the cycles from here read exactly as the sync character (the caller makes sure
// that a character's worth of them is there).
inline bool readsAsSync(std::deque<Bit>::const_iterator from) {
    return std::equal(syncPattern.begin(), syncPattern.end(), from,
                      [](int value, const Bit& b) { return b.value == value; });
}

// The longest load the machine takes: a plain load of all its data bytes sends them and
// its checksum (the filler of the last pair is not counted among the characters). A reading
// that runs on past this is no load of this machine and ends there.
inline constexpr std::size_t maximumCharacters = static_cast<std::size_t>(
    machine::characterPositions(machine::plainLoadFormat, machine::loadDataSize));
inline constexpr const char* noSyncCharacter = "no sync character after the header tone";

}  // namespace kelvanto::decode::frame
