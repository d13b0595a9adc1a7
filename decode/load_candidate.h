// SPDX-License-Identifier: MIT
// One reading of one load from one channel in one polarity, with the header tone it was
// calibrated on: what the checksum judge and the merger of readings work from.
#pragma once

#include "decode/decoded_load.h"
#include "decode/framed_load.h"

namespace kelvanto::decode {

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
};

}  // namespace kelvanto::decode
