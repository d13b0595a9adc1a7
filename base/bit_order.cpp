// Bit reversal and pair interleaving, each answered from a table built once.
#include "base/bit_order.h"

#include <array>

namespace {

struct Tables {
    std::array<std::uint8_t, 256> reversed{};
    // The odd bits of a byte spread to bits 7, 5, 3, 1 and its even bits likewise; the second
    // byte of a pair lands one place lower.
    std::array<std::uint8_t, 256> oddSpread{};
    std::array<std::uint8_t, 256> evenSpread{};

    Tables() {
        for (unsigned value = 0; value < 256; ++value) {
            unsigned r = 0, odd = 0, even = 0;
            for (unsigned bit = 0; bit < 8; ++bit) {
                if (value & (1u << bit)) {
                    r |= 0x80u >> bit;
                }
            }
            for (unsigned k = 0; k < 4; ++k) {
                odd |= ((value >> (2 * k + 1)) & 1u) << (7 - 2 * k);
                even |= ((value >> (2 * k)) & 1u) << (7 - 2 * k);
            }
            reversed[value] = static_cast<std::uint8_t>(r);
            oddSpread[value] = static_cast<std::uint8_t>(odd);
            evenSpread[value] = static_cast<std::uint8_t>(even);
        }
    }
};

const Tables& tables() {
    static const Tables built;
    return built;
}

}  // namespace

std::uint8_t reverseBits(std::uint8_t value) {
    return tables().reversed[value];
}

// high takes bits 1, 3, 5, 7 and low bits 0, 2, 4, 6 of both bytes, first before second,
// from the top bit down.
void interleavePair(std::uint8_t first, std::uint8_t second, std::uint8_t& high,
                    std::uint8_t& low) {
    const Tables& t = tables();
    high = static_cast<std::uint8_t>(t.oddSpread[first] | (t.oddSpread[second] >> 1));
    low = static_cast<std::uint8_t>(t.evenSpread[first] | (t.evenSpread[second] >> 1));
}
