// SPDX-License-Identifier: MIT
// One bit as read from one cycle: its value (or the news that the cycle was no bit at all),
// how certain the decision is and where its cycle stands in the recording.
#pragma once

namespace kelvanto::decode {

struct Bit {
    // 0 or 1; invalid when the cycle was far too long to be a bit (silence, a dropout).
    enum Value { zero = 0, one = 1, invalid = -1 };
    int value = invalid;
    float certainty = 0.0f;  // 0 at the short/long threshold, 1 at a nominal period
    double start = 0.0;      // frame of the recording where the cycle began
    double end = 0.0;
    float amplitude = 0.0f;
    // Where the edge between the cycle's two halves fell, as a fraction of its length (half
    // way where it was not measured, as in a cycle joined from two pieces).
    float middle = 0.5f;
    // What the signal itself says of the cycle: log(likelihood that a 1 starts here / that a
    // 0 does), from its shape rather than its length; 0 when it was not weighed.
    float evidence = 0.0f;
};

// How long a bit lasts in half units: a 1 cycle two, a 0 cycle one.
inline double halfUnitsOf(const Bit& bit) {
    return bit.value == Bit::one ? 2.0 : 1.0;
}

}  // namespace kelvanto::decode
