// SPDX-License-Identifier: MIT
// The third stage: turns the crossings of one channel into full cycles for one polarity,
// timing each cycle from one crossing of the chosen direction to the next.
#pragma once

#include <vector>

#include "decode/crossing.h"
#include "decode/cycle.h"
#include "decode/decoded_load.h"

namespace kelvanto::decode {

// Every cycle the machine writes starts low and ends high, so the cycle boundary is the
// falling edge. Timing from the rising edge instead (an inverted recording read the
// normal way) puts the boundary in the middle of each cycle, and every change between 0 and
// 1 then gives a cycle of one and a half units. Both polarities are timed from the one
// crossing stream: each timer takes the crossings of both directions and only its own
// direction closes a cycle.
class CycleTimer {
  public:
    CycleTimer(Polarity polarity, double sampleRate);

    void push(const Crossing& crossing, std::vector<Cycle>& out);

  private:
    bool boundaryRising;
    double secondsPerFrame;
    bool haveBoundary = false;
    bool haveMiddle = false;
    double boundary = 0.0;
    double middle = 0.0;
    float firstPeak = 0.0f;
};

}  // namespace kelvanto::decode
