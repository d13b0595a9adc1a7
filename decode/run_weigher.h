// SPDX-License-Identifier: MIT
// Weighs every value of a run of one or two characters whose framing broke on the signal
// kept around them: how likely each reading is, grouped by how it moves the loader's sum.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "decode/load_candidate.h"

namespace kelvanto::decode {

// Where the framing of a character broke, its cycles say little of its value: an edge was
// lost or added, and which one is a guess. But the run of broken characters still starts
// where the clean character before it ended and ends where the clean one after it starts,
// and every value of the run is a square wave of known shape that must fill that stretch:
// its correlation with the signal is how likely it is (every reading fills the same
// stretch, so all have the same energy). For hiss of variance s^2 per frame on a signal of
// level a, the log likelihood of one reading against another is a / s^2 times the
// difference of their correlations; the hiss is measured on the header tone, the level on
// the run itself (a dip that broke the framing dims the signal, not the hiss). Only half of
// that is counted: the square wave is not the shape the tape's band limit left, and the
// readings differ in their details.
struct RunWeights {
    std::size_t first = 0;
    std::size_t count = 0;
    // By how much each reading of the run moves the sum against the values read (mod 256):
    // the log of the likelihood of all readings that move it so against the likeliest
    // reading of all (-infinity where none does), and the likeliest of them.
    std::array<double, 256> logWeight{};
    std::array<double, 256> likeliestLog{};
    std::array<std::array<std::uint8_t, 2>, 256> likeliest{};
};

class RunWeigher {
  public:
    // The longest run weighed: every reading of two characters is 65,536 of them.
    static constexpr std::size_t longestRun = 2;
    // A reading must fill the stretch at a speed within this of the characters beside it.
    static constexpr double speedSlack = 0.08;
    static constexpr double counted = 0.5;  // of the log likelihood (see above)

    // Nothing when the run cannot be weighed: no hiss measured, a neighbour missing, or the
    // stretch not held.
    static std::optional<RunWeights> weigh(const LoadCandidate& candidate,
                                           const SignalStretch& stretch);
};

}  // namespace kelvanto::decode
