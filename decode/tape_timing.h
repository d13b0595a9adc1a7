// The timing of the machine's tape signal and the rule that closes every load, as the
// receiver needs them: one square-wave cycle per bit on a grid of 22050 frames per second.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/machine.h"

namespace kelvanto::decode {

// The interface counts its cycles in frames of 1/22050 s whatever the file's rate: a 1 bit
// is 14 frames (1575 Hz), a 0 bit 7 frames (3150 Hz), so a 1 lasts exactly two 0s.
inline constexpr double frameRate = 22050.0;
inline constexpr double nominalOnePeriod = 14.0 / frameRate;
inline constexpr double nominalZeroPeriod = 7.0 / frameRate;

// After the header tone the machine sends one 0 bit, 0xA5 (whose bit pattern reads the same
// in both orders) and one 1 bit. The loader adds 0xA5 to the sum of every character it
// receives, checksum included; a load is whole when that sum is 0xFF modulo 256.
inline constexpr std::uint8_t syncCharacter = 0xA5;
inline constexpr std::uint8_t checksumTarget = 0xFF;

// Noise and speech never hold a steady 1575 Hz tone for long; a real header tone does.
inline constexpr int minimumToneCycles = 100;

// The longest load the machine takes: a plain load of the whole 8192 bytes sends them and
// its checksum (the filler of the last pair is not counted among the characters). A reading
// that runs on past this is no load of this machine and ends there.
inline constexpr std::size_t maximumCharacters =
    static_cast<std::size_t>(machine::loadDataSize) + 1;

// The loader's sum over the received characters (0xA5 plus every character, modulo 256).
inline std::uint8_t loadSum(std::span<const std::uint8_t> characters) {
    unsigned sum = syncCharacter;
    for (const std::uint8_t character : characters) {
        sum += character;
    }
    return static_cast<std::uint8_t>(sum & 0xFFu);
}

inline bool checksumRight(std::span<const std::uint8_t> characters) {
    return !characters.empty() && loadSum(characters) == checksumTarget;
}

}  // namespace kelvanto::decode
