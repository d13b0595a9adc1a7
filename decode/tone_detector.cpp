// SPDX-License-Identifier: MIT
// Header tone detection and calibration of the 1-bit period.
// The tone's first cycles set the 1-bit period that the bits are calibrated on.
#include "decode/tone_detector.h"

#include <algorithm>

namespace kelvanto::decode {

namespace {

bool plausibleOne(double period) {
    return period >= ToneDetector::fastestPeriod && period <= ToneDetector::slowestPeriod;
}

// A cycle of about half the tone's: a 0.
bool zeroOf(double period, double tone) {
    return period >= 0.3 * tone && period < 0.75 * tone;
}

}  // namespace

void ToneDetector::reset() {
    paused = false;
    pausedZero = false;
    resumeRun = 0;
    count = 0;
    outliers = 0.0;
    steadyAll = true;
    mean = 0.0;
    amplitudeSum = 0.0;
    lastZero = noZero;
    regularZeros = 0;
    steadyRun = 0;
}

void ToneDetector::begin(const Cycle& cycle) {
    reset();
    if (plausibleOne(cycle.period)) {
        count = 1;
        mean = cycle.period;
        reference = cycle.period;
        firstStart = cycle.start;
        lastEnd = cycle.end;
        lastCleanEnd = cycle.end;
        amplitudeSum = cycle.amplitude;
        steadyRun = 1;
    }
}

ToneDetector::Event ToneDetector::push(const Cycle& cycle) {
    if (count == 0) {
        begin(cycle);
        return Event::none;
    }
    const double ratio = cycle.period / mean;
    // Steady against the running mean, which follows the tape's speed slowly (wow moves it
    // by tens of percent over a second). Whether it also stayed near the tone's first
    // cycles is noted: only such a tone is believed without a load after it.
    const double drift = cycle.period / reference;
    const bool steady = ratio >= 0.8 && ratio <= 1.25 && plausibleOne(cycle.period);
    const bool zero = zeroOf(cycle.period, mean);
    if (paused) {
        if (cycle.start - lastEnd > joinFrames) {
            begin(cycle);
        } else if (!steady && zero && resumeRun >= resumeBeforeSync &&
                   !(pausedZero && resumeRun == machine::cyclesPerCharacter - 1)) {
            // A short dropout near the end of the header: the tone came back for a few
            // cycles before its sync character, too few to be a piece of tone of its own.
            // (Nine 1s between two 0s are a 0xFF byte of data, as below.)
            paused = false;
            outliers = 0.0;
            resumeRun = 0;
            return Event::syncStart;
        } else if (!steady) {
            resumeRun = 0;
            pausedZero = zero;
        } else if (++resumeRun >= resumeCycles) {
            // A piece of clean tone again, not one steady cycle among disturbed ones.
            paused = false;
            outliers = 0.0;
        }
        if (paused || count <= 1) {
            return Event::none;
        }
    }
    steadyRun = steady ? steadyRun + 1 : 0;
    if (steady) {
        ++count;
        if (steadyRun >= cleanRun) {
            lastCleanEnd = cycle.end;
        }
        outliers = std::max(0.0, outliers - outlierDecay);
        if (drift < 0.7 || drift > 1.4) {
            steadyAll = false;
        }
        // The first cycles set the mean (the calibration the bits rely on); after that it
        // follows the tape's speed slowly.
        const double weight = count < 32 ? 1.0 / count : 1.0 / 32.0;
        mean += weight * (cycle.period - mean);
        if (count <= 32) {
            reference = mean;
        }
        amplitudeSum += cycle.amplitude;
        lastEnd = cycle.end;
        return Event::none;
    }
    const bool longEnough = count >= minimumToneCycles;
    // 0s each nine 1s after the last are the start bits of characters: a run of 0xFF bytes, whose
    // 0xA5 among them would pass for the sync character of a load starting there (its own tone and
    // sync lost in a dropout). Data is no tone: a tone that ran into it ends at the second such 0.
    // (One alone may be the sync character after a cycle that hiss cut short.)
    if (zero) {
        const bool regular = count - lastZero == machine::cyclesPerCharacter - 1;
        regularZeros = regular ? regularZeros + 1 : 0;
        lastZero = count;
        if (longEnough && regularZeros >= 2) {
            return endAt(cycle);
        }
    }
    // The sync character follows a clean run of tone; a tone that ran on into data (its
    // real sync lost in a dropout) is still disturbed when a 0 comes, and a pattern in the
    // data that looks like a sync character would frame every later character wrong.
    if (zero && longEnough && outliers <= mostOutliersBeforeSync) {
        return Event::syncStart;
    }
    // A tone of a cycle or two that the next cycles disagree with was no tone: the first
    // cycle after silence comes out long as the band's response builds up, and waiting for
    // the outliers to add up would start the tone several cycles late.
    if (count < shortestForgiving) {
        begin(cycle);
        return Event::none;
    }
    // A glitch (a cycle cut short by a spike, or a short one before the tone is long
    // enough to end in a sync character) or a cycle stretched by a missed edge: a few in a
    // row are forgiven inside a tone, more end it, and silence ends it at once.
    // A cycle of about two (a lost edge, or a 1 among 0s) weighs double.
    outliers += ratio > 1.6 ? 2.0 : 1.0;
    if (ratio > longestRatio || outliers > maximumOutliers) {
        return endAt(cycle);
    }
    return Event::none;
}

// A tone long enough to count pauses (a piece of it that follows soon continues it); a
// shorter one was no tone, and this cycle may start the next.
ToneDetector::Event ToneDetector::endAt(const Cycle& cycle) {
    if (count >= minimumToneCycles) {
        paused = true;
        resumeRun = 0;
        pausedZero = zeroOf(cycle.period, mean);
        return Event::toneEnded;
    }
    begin(cycle);
    return Event::none;
}

}  // namespace kelvanto::decode
