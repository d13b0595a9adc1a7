// The bit orders of the tape: characters travel least significant bit first, and the two
// halves of screen and binary loads are interleaved bit by bit into each pair.
#pragma once

#include <cstdint>

// Bit i of the result is bit 7 - i of the value.
std::uint8_t reverseBits(std::uint8_t value);
// Interleaves two bytes bit by bit (odd bits into high, even bits into low, first before
// second). Applying it to its own results gives back first and second.
void interleavePair(std::uint8_t first, std::uint8_t second, std::uint8_t& high, std::uint8_t& low);
