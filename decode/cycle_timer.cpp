// SPDX-License-Identifier: MIT
// Cycles between crossings of one direction, for one polarity.
// Both polarities are timed from the one crossing stream of a channel.
#include "decode/cycle_timer.h"

namespace kelvanto::decode {

CycleTimer::CycleTimer(Polarity polarity, double sampleRate)
    : boundaryRising(polarity == Polarity::inverted), secondsPerFrame(1.0 / sampleRate) {}

void CycleTimer::push(const Crossing& crossing, std::vector<Cycle>& out) {
    if (crossing.rising != boundaryRising) {
        middle = crossing.time;
        firstPeak = crossing.peak;
        haveMiddle = haveBoundary;
        return;
    }
    if (haveBoundary && haveMiddle && crossing.time > boundary) {
        const double frames = crossing.time - boundary;
        Cycle cycle;
        cycle.start = boundary;
        cycle.end = crossing.time;
        cycle.period = frames * secondsPerFrame;
        cycle.middle = static_cast<float>((middle - boundary) / frames);
        cycle.amplitude = 0.5f * (firstPeak + crossing.peak);
        out.push_back(cycle);
    }
    boundary = crossing.time;
    haveBoundary = true;
    haveMiddle = false;
}

}  // namespace kelvanto::decode
