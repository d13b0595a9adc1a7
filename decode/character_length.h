// SPDX-License-Identifier: MIT
// How far a character's measured length is from the length a value would give it, in half
// units at the speed of the characters read cleanly around it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decode/framed_load.h"

namespace kelvanto::decode {

// How long a character of this value lasts in half units (the length of a 0 cycle): eleven,
// and one more per 1 bit.
inline constexpr double characterHalves(std::uint8_t value) {
    return static_cast<double>(machine::characterFrames(value, machine::startBit)) /
           machine::zeroBitFrames;
}

// A cycle cut in two, or two run together, moves edges about inside a character but not
// its ends: the character still lasts as long as its true value (eleven half units and one
// more per 1 bit). Measured against the nearest characters on either side that framed
// cleanly; NaN where there are none within a few characters.
double lengthMisfit(const FramedLoad& framed, std::size_t at, std::uint8_t value);

// How far the characters that framed cleanly typically are from their own values' lengths
// (the median distance): what the recording's wow, hiss and edges make of a length. NaN
// when the load has no such characters.
double typicalMisfit(const FramedLoad& framed);

}  // namespace kelvanto::decode
