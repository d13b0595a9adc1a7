// The fourth stage: tells 0 cycles from 1 cycles. Calibrated on the header tone, then it
// follows the tape's speed slowly through the load, since a 1 always lasts two 0s.
#pragma once

#include <optional>

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
class BitClassifier {
  public:
    static constexpr double threshold = 0.75;
    static constexpr double glitchLimit = 0.3;
    static constexpr double longestBit = 1.6;
    static constexpr double tracking = 1.0 / 32.0;

    void calibrate(double onePeriod);
    // The bit of this cycle, or nothing while a cut cycle waits for its other piece.
    std::optional<Bit> push(const Cycle& cycle);

    double unit() const { return onePeriod; }

  private:
    double onePeriod = 14.0 / 22050.0;
    bool holding = false;
    Cycle held;
};

}  // namespace kelvanto::decode
