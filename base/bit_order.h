// SPDX-License-Identifier: MIT
// The bit orders of the tape: characters travel least significant bit first, and the two
// halves of screen and binary loads are interleaved bit by bit into each pair.
#pragma once

#include <array>
#include <cstdint>

namespace bitOrder {

// 256-entry tables, built by the compiler: the reversed byte, and the odd and even bits of a
// byte gathered into the even places of the result (bit 2k takes bit 2k + 1, or bit 2k).
struct Tables {
    std::array<std::uint8_t, 256> reversed{};
    std::array<std::uint8_t, 256> oddGathered{};
    std::array<std::uint8_t, 256> evenGathered{};
};

constexpr Tables buildTables() {
    Tables t;
    for (unsigned value = 0; value < 256; ++value) {
        unsigned r = 0, odd = 0, even = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
            if (value & (1u << bit)) {
                r |= 0x80u >> bit;
            }
        }
        for (unsigned k = 0; k < 4; ++k) {
            odd |= ((value >> (2 * k + 1)) & 1u) << (2 * k);
            even |= ((value >> (2 * k)) & 1u) << (2 * k);
        }
        t.reversed[value] = static_cast<std::uint8_t>(r);
        t.oddGathered[value] = static_cast<std::uint8_t>(odd);
        t.evenGathered[value] = static_cast<std::uint8_t>(even);
    }
    return t;
}

inline constexpr Tables tables = buildTables();

}  // namespace bitOrder

// Bit i of the result is bit 7 - i of the value.
inline std::uint8_t reverseBits(std::uint8_t value) {
    return bitOrder::tables.reversed[value];
}

// Interleaves two bytes bit by bit (odd bits into high, even bits into low, first before
// second, from the top bit down). Applying it to its own results gives back first and second.
inline void interleavePair(std::uint8_t first, std::uint8_t second, std::uint8_t& high,
                           std::uint8_t& low) {
    const auto& t = bitOrder::tables;
    high =
        t.reversed[static_cast<std::uint8_t>(t.oddGathered[first] | (t.oddGathered[second] << 1))];
    low = t.reversed[static_cast<std::uint8_t>(t.evenGathered[first] |
                                               (t.evenGathered[second] << 1))];
}

// The characters a receiver reads for a pair of an interleaved load whose two halves hold
// first and second: the interleaved bytes sent top bit first, which is each of them reversed.
// The gathered bits stay in place, so this is two masks and a shift for each character.
inline void receivedPair(std::uint8_t first, std::uint8_t second, std::uint8_t& a,
                         std::uint8_t& b) {
    a = static_cast<std::uint8_t>(((first >> 1) & 0x55u) | (second & 0xAAu));
    b = static_cast<std::uint8_t>((first & 0x55u) | ((second << 1) & 0xAAu));
}
