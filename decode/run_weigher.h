// SPDX-License-Identifier: MIT
// Weighs every reading of a run of unclear characters, one of them with its framing broken,
// on the signal kept around them: how likely each is, grouped by how it moves the loader's sum.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "decode/load_candidate.h"

namespace kelvanto::decode {

// Where the framing of a character broke, its cycles say little of its value: an edge was
// lost or added, and which one is a guess. But the run still starts where the clear
// character before it ended and ends where the clear one after it starts, and every reading
// of the run is a square wave of known shape that must fill that stretch: its correlation
// with the signal is how likely it is (every reading fills the same stretch, so all have the
// same energy). The readings are walked character by character, by half units and sum so
// far, so that every one of them counts (256^n of them; some ten million steps for six).
// For hiss of variance s^2 per frame on a signal of level a, the log likelihood of one
// reading against another is a / s^2 times the difference of their correlations; the hiss
// is measured on the header tone, the level on the run itself (a dip that broke the framing
// dims the signal, not the hiss). Only a quarter of that is counted: the square wave is not
// the shape the tape's band limit left, and the edges either side of a dip move too.
// Measured on the bench's worn cassettes (severities 2.75 to 3.25, both formats, 30 seeds):
// counting half, 13 of 631 runs whose likeliest reading was claimed wrong with a chance
// below 1 in 100 were wrong, against 0.4 expected; counting a quarter, 3 of 443 against 0.3
// (two of them in a reading whose characters were one off against the tape's), none of the
// 351 below 1 in 10,000, and from 1 in 100 up no more often than claimed.
// The longest run weighed.
inline constexpr std::size_t longestWeighedRun = 6;

struct RunWeights {
    std::size_t first = 0;
    std::size_t count = 0;
    // By how much each reading of the run moves the sum against the values read (mod 256):
    // the log of the likelihood of all readings that move it so against the likeliest
    // reading of all (-infinity where none does), and the likeliest of them.
    std::array<double, 256> logWeight{};
    std::array<double, 256> likeliestLog{};
    std::array<std::array<std::uint8_t, longestWeighedRun>, 256> likeliest{};
    // How long the run lasted in half units at the speed of its neighbours, and how long the
    // likeliest reading for each move is.
    double measuredHalves = 0.0;
    std::array<int, 256> likeliestHalves{};
};

class RunWeigher {
  public:
    static constexpr std::size_t longestRun = longestWeighedRun;
    // A reading must fill the stretch at a speed within this of the characters beside it
    // (or within lengthSlack half units, for a short run).
    static constexpr double speedSlack = 0.04;
    static constexpr double lengthSlack = 1.5;
    // The clear characters either side must agree on the speed within this: one that lasts
    // other than its value's length had an edge moved, and the run's end with it (on the
    // bench's worn cassettes, runs between neighbours 7 % apart were read a half unit short).
    static constexpr double neighboursAgree = 0.03;
    static constexpr double counted = 0.25;  // of the log likelihood (see above)

    // Nothing when the run cannot be weighed: no hiss measured, a neighbour missing or
    // disagreeing, or the stretch not held.
    static std::optional<RunWeights> weigh(const LoadCandidate& candidate,
                                           const SignalStretch& stretch);
};

}  // namespace kelvanto::decode
