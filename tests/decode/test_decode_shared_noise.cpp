// SPDX-License-Identifier: MIT
// How far two readings' doubts go together: a copy, independent takes, a take given twice.
#include <gtest/gtest.h>

#include <cmath>

#include "decode/shared_noise.h"

using kelvanto::decode::BitEvidence;
using kelvanto::decode::sharedNoise;

namespace {

// A reading of n clear bits (evidence +-12, alternating) with the listed bits in doubt (1.0).
BitEvidence reading(std::size_t n, std::initializer_list<std::size_t> doubtful) {
    BitEvidence e(n);
    for (std::size_t i = 0; i < n; ++i) {
        e[i] = i % 2 == 0 ? 12.0 : -12.0;
    }
    for (const std::size_t i : doubtful) {
        e[i] = e[i] > 0 ? 1.0 : -1.0;
    }
    return e;
}

}  // namespace

TEST(SharedNoise, CountsTheDoubtsBothShareAgainstTheReadingWithFewer) {
    const BitEvidence a = reading(100, {3, 10, 20, 31});
    EXPECT_EQ(sharedNoise(a, a), 1.0);
    EXPECT_EQ(sharedNoise(a, reading(100, {4, 11, 21, 30})), 0.0);  // hiss of their own
    // A copy with doubts of its own besides the recording's: 3 of a's 4 shared.
    const BitEvidence copy = reading(100, {3, 10, 20, 40, 50, 60, 70});
    EXPECT_DOUBLE_EQ(sharedNoise(a, copy), 0.75);
    EXPECT_DOUBLE_EQ(sharedNoise(copy, a), 0.75);
    // A doubt counts where evidence is below half the reading's clearest: 5.9 of 12 is, 6.1
    // is not.
    BitEvidence softer = reading(100, {});
    softer[4] = 5.9;
    softer[10] = -6.1;
    EXPECT_DOUBLE_EQ(sharedNoise(a, softer), 0.0);
    // Bits a reading does not give are left out: a's doubts fall where b gives nothing, so
    // nothing tells them apart.
    BitEvidence b = reading(100, {50, 60, 70});
    b[3] = b[10] = std::nan("");
    EXPECT_DOUBLE_EQ(sharedNoise(reading(100, {3, 10}), b), 1.0);
    EXPECT_DOUBLE_EQ(sharedNoise(reading(100, {}), reading(100, {})), 1.0);
}
