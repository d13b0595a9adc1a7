// SPDX-License-Identifier: MIT
// Finds the header tone: a long steady run of 1-bit cycles within the speed range a tape
// machine can plausibly have, and notices the first 0 bit that ends it (the sync character).
#pragma once

#include "base/machine.h"
#include "decode/cycle.h"

namespace kelvanto::decode {

class ToneDetector {
  public:
    // Noise and speech never hold a steady tone of 1 cycles for long; a real header tone does.
    static constexpr int minimumToneCycles = 100;
    // A tape may run from about a third of its speed (a machine with a failing motor, a
    // recording made at the wrong tape speed) to well over twice it (a copy dubbed at high
    // speed and played back normally).
    static constexpr double slowestPeriod = machine::oneBitSeconds / 0.33;
    static constexpr double fastestPeriod = machine::oneBitSeconds / 2.4;
    // A tone with no load after it is reported within the speeds a plain tape machine has,
    // or at about the speed of a load read from the same recording: a steady note of music
    // or a test tone elsewhere is not a tape, but a tape that runs slow runs slow throughout.
    static constexpr double slowestLonePeriod = 1.45 * machine::oneBitFrames / machine::frameRate;
    static constexpr double fastestLonePeriod = 0.68 * machine::oneBitFrames / machine::frameRate;

    // Cycles that disagree with a tone are forgiven while they stay rare: each one adds 1
    // to a count that every steady cycle lowers by outlierDecay, and the tone ends when the
    // count passes maximumOutliers. Noise disturbs single cycles of a tone that is still
    // there; data, music and speech mix cycles of every length and never build a tone.
    static constexpr double maximumOutliers = 4.0;
    // Below this many cycles a disagreeing cycle starts the tone again instead.
    static constexpr int shortestForgiving = 3;
    static constexpr double outlierDecay = 0.25;
    // A 0 opens a sync character only when the outlier count is this low.
    static constexpr double mostOutliersBeforeSync = 1.5;
    // A cycle this much longer than the tone's is the signal stopping, not a disturbed cycle.
    static constexpr double longestRatio = 2.6;
    // Pieces of tone closer than this are one tone that a few bad cycles broke; a piece
    // counts once this many steady cycles follow each other.
    static constexpr double joinSeconds = 0.1;
    static constexpr int resumeCycles = 16;
    // ... but a 0 after this many steady cycles of a tone that paused opens its sync character.
    static constexpr int resumeBeforeSync = 8;

    explicit ToneDetector(double sampleRate) : joinFrames(joinSeconds * sampleRate) {}

    enum class Event {
        none,
        // The cycle just pushed is a 0 bit after a tone of at least minimumToneCycles:
        // it opens the sync character.
        syncStart,
        // A tone of at least minimumToneCycles ended in something that is not a bit. The tone
        // stays readable (start, cycles, mean), and a piece of tone that follows within
        // joinSeconds continues it (with the same start).
        toneEnded,
    };

    Event push(const Cycle& cycle);
    void reset();
    // The 0 that syncStart announced opened no sync character: it counts as a disturbance
    // of the tone like any other, so that hiss after a tone ends it. The 1 cycles read after
    // it while the sync character was looked for belong to the tone.
    void syncFailed(int toneCycles) {
        outliers += 2.0;
        count += toneCycles;
    }

    int cycles() const { return count; }
    double meanPeriod() const { return mean; }
    double start() const { return firstStart; }
    double end() const { return lastEnd; }  // frame where the last tone cycle ended
    double amplitude() const { return count > 0 ? amplitudeSum / count : 0.0; }
    // Whether the tone stayed within -30/+40 % of its first cycles' period (a tape's speed
    // wanders slowly; a whistle or a sliding voice does not hold still).
    bool steadyThroughout() const { return steadyAll; }
    // Where the tone last ran clean: the end of the last of cleanRun steady cycles in a row
    // (data never has that many 1s in a row, the filler's included; a tone that ran on into
    // some of it, or that hiss broke at its end, ended there).
    static constexpr int cleanRun = 12;
    double cleanEnd() const { return lastCleanEnd; }

  private:
    void begin(const Cycle& cycle);
    Event endAt(const Cycle& cycle);

    double joinFrames;
    bool paused = false;
    bool pausedZero = false;  // the cycle that broke the tone's comeback was a 0
    int resumeRun = 0;
    int count = 0;
    double outliers = 0.0;
    bool steadyAll = true;
    double mean = 0.0;
    double reference = 0.0;  // mean of the tone's first 32 cycles
    double firstStart = 0.0;
    double lastEnd = 0.0;
    double amplitudeSum = 0.0;
    int steadyRun = 0;
    double lastCleanEnd = 0.0;
    // Where the last 0 among the tone's cycles came (its count of cycles then): 0s one
    // character apart are data, not noise in a tone (see push).
    static constexpr int noZero = -2 * machine::cyclesPerCharacter;
    int lastZero = noZero;
    int regularZeros = 0;  // 0s in a row, each a character after the one before
};

}  // namespace kelvanto::decode
