// SPDX-License-Identifier: MIT
// How likely each bit decision of one load is to be wrong, from its certainty and from how
// the certainties of the whole load fall: the soft values that repairs and merges rank by.
#pragma once

#include <array>
#include <cstdint>

#include "decode/framed_load.h"

namespace kelvanto::decode {

// A decision's certainty is its distance from the short/long threshold, 1 at the nominal
// length. A wrong decision mostly lands close to the threshold (noise, a click that moves
// one edge) and seldom far from it; a right one lands wherever the load's noise puts its
// cycles. So the odds that a decision of certainty c is wrong are the share of wrong
// decisions expected at c against the share of the load's own decisions found there:
// a lone near-guess in a clean load is likely wrong, the same certainty among thousands
// like it in a noisy load much less so, and a middling decision that stands apart is
// never taken as sure. How many decisions are wrong at all is judged from how many are
// unclear (at least a quarter of one per load, however long). Steady noise also gives odds
// of its own, exp(-2c x centre / spread^2), from the load's measured spread around its
// centre: a recording whose certainties all moved down together (a low-pass, a codec)
// is not a noisy one; the larger of the two odds counts.
class ErrorOdds {
  public:
    explicit ErrorOdds(const FramedLoad& load);
    // The scale of a reading made of several readings, whose decisions carry the evidence
    // their own loads' odds gave: certainty q stands for evidence strongest * q / 255, so that
    // every joint decision keeps its odds. (On one load's scale, flat wherever that load has
    // no decisions of its own, a joint decision took the odds of a clean one, or of a guess.)
    static ErrorOdds ofEvidence(double strongest);

    // Odds (wrong against right) of a decision with this certainty (0..255).
    double odds(std::uint8_t certainty) const { return table[certainty]; }
    // The same in the form that adds up over independent readings: log(right / wrong).
    double evidence(std::uint8_t certainty) const { return logTable[certainty]; }
    // The most certain place (0..255) whose evidence does not exceed this much, for a
    // reading made of several readings: a joint decision is never taken for surer than the
    // readings together say.
    std::uint8_t certaintyOf(double evidence) const;

  private:
    ErrorOdds() = default;

    std::array<double, 256> table{};
    std::array<double, 256> logTable{};
};

}  // namespace kelvanto::decode
