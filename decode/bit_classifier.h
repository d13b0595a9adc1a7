// SPDX-License-Identifier: MIT
// The fourth stage: tells 0 cycles from 1 cycles. Calibrated on the header tone, then it
// follows the tape's speed slowly through the load, since a 1 always lasts two 0s.
#pragma once

#include <optional>

#include "base/machine.h"
#include "decode/bit.h"
#include "decode/cycle.h"

namespace kelvanto::decode {

// The classifier keeps one number, the length of a 1 cycle at the tape's current speed
// (the unit). A cycle shorter than three quarters of a unit is a 0, a longer one a 1; the
// certainty falls from 1 at the nominal lengths to 0 at that threshold. Each clear cycle
// moves the unit a little (a 0 counting double), which follows speed errors, wow and
// flutter without letting one noisy cycle move it far. A cycle shorter than 0.3 units is
// the piece of a cycle that a spike cut in two and is joined to the next one; a cycle
// longer than 1.6 units is no bit (the signal dropped out or the load ended).
//
// Noise that crosses zero twice inside a half cycle cuts the cycle into two pieces whose
// middle edges fall far from half way (one piece is nearly all low or all high), while a
// real 0 cycle is balanced. So a short lopsided cycle waits for the next: when the two
// together last one unit (or half of one), they are taken as the 1 (or 0) they were cut
// from, with half the certainty; otherwise each is a bit of its own.
class BitClassifier {
  public:
    static constexpr double threshold = 0.75;
    static constexpr double glitchLimit = 0.3;
    static constexpr double longestBit = 1.6;
    static constexpr double tracking = 1.0 / 32.0;

    void calibrate(double onePeriod);
    // The bit of this cycle, or nothing while a cut cycle waits for its other piece. When
    // a waiting piece turns out to be a bit of its own, the bit of this cycle follows it:
    // take it with extra().
    std::optional<Bit> push(const Cycle& cycle);
    std::optional<Bit> extra();

    double unit() const { return onePeriod; }

  private:
    Bit classify(const Cycle& cycle, bool joined);
    std::optional<Bit> take(const Cycle& cycle);

    double onePeriod = machine::oneBitSeconds;
    bool holding = false;
    bool heldLopsided = false;  // held as a lopsided piece (else as a glitch)
    Cycle held;
    std::optional<Bit> following;
};

}  // namespace kelvanto::decode
