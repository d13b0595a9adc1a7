// SPDX-License-Identifier: MIT
// One reading of one load from one channel in one polarity, with the header tone it was
// calibrated on: what the checksum judge and the merger of readings work from.
#pragma once

#include <cstddef>
#include <vector>

#include "decode/decoded_load.h"
#include "decode/framed_load.h"
#include "decode/signal_history.h"

namespace kelvanto::decode {

// The filtered signal over a run of characters whose framing broke (first to last), from
// a little before the first to a little after the start of the clean character after the
// last: kept so that every value of the run can be weighed on the signal itself.
struct SignalStretch {
    std::size_t first = 0;
    std::size_t last = 0;
    SignalHistory signal;
};

struct LoadCandidate {
    FramedLoad framed;
    double headerStart = 0.0;  // frame of the header tone's first cycle
    int headerCycles = 0;
    double onePeriod = 0.0;  // calibrated 1-bit period, seconds
    double amplitude = 0.0;  // mean cycle peak over the load
    // A header tone after which no load could be read at all.
    bool toneOnly = false;
    Polarity polarity = Polarity::normal;
    int channel = 0;
    std::vector<SignalStretch> stretches;
    // What the hiss of the header tone makes of a cycle's weighing (its square wave's
    // correlation with the signal, per frame): the variance per frame, 0 when not measured.
    double hissPerFrame = 0.0;
};

}  // namespace kelvanto::decode
