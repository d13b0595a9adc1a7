// SPDX-License-Identifier: MIT
// The fourth stage: tells 0 cycles from 1 cycles. Calibrated on the header tone, then it
// follows the tape's speed slowly through the load, since a 1 always lasts two 0s.
#pragma once

#include <array>
#include <optional>

#include "base/machine.h"
#include "decode/bit.h"
#include "decode/cycle.h"

namespace kelvanto::decode {

// The classifier keeps the length of a 1 cycle at the tape's current speed (the unit), and
// where 0 and 1 cycles have been falling, in units, after a 0 and after a 1: a band limit
// anywhere in the chain (a thin recorder, a codec, the decoder's own filter) lengthens a 0
// next to a 1 and shortens a 1 next to a 0 by a steady amount. A cycle is a 1 when it is
// nearer the expected length of a 1 than that of a 0 after the bit before it; the certainty
// falls from 1 at the expected length to 0 half way. Each clear cycle moves the unit a
// little (a 0 counting double), which follows speed errors, wow and flutter without letting
// one noisy cycle move it far; the expected lengths follow a little faster. A cycle shorter
// than 0.3 units is the piece of a cycle that a spike cut in two and is joined to the next
// one; a cycle longer than 1.6 units is no bit (the signal dropped out or the load ended).
//
// Noise that crosses zero twice inside a half cycle cuts the cycle into two pieces whose
// middle edges fall far from half way (one piece is nearly all low or all high), while a
// real 0 cycle is balanced. So a short lopsided cycle waits for the next: when the two
// together last one unit (or half of one), they are taken as the 1 (or 0) they were cut
// from, with half the certainty; otherwise each is a bit of its own.
//
// Every edge between cycles falls on a grid of half units, but hiss moves each edge as it is
// seen, and a length measured between two seen edges carries the error of both. So the
// classifier keeps a loop on the grid: a cycle is measured from where the one before it
// should have ended (its start as the decided length puts it, moved a little towards where
// it was seen), which carries the error of one edge, about 3 dB less. What is left over
// between the expected and the seen end also corrects the unit, so the loop follows wow as
// it comes instead of lagging behind it.
class BitClassifier {
  public:
    static constexpr double glitchLimit = 0.3;
    static constexpr double longestBit = 1.6;
    static constexpr double tracking = 1.0 / 32.0;
    static constexpr double contextTracking = 1.0 / 16.0;
    // Beyond its expected length by mergedSlack a 1 loses certainty, all of it at mergedReach.
    static constexpr double mergedSlack = 0.15;
    static constexpr double mergedReach = 0.45;
    // The loop: how far a cycle's seen end moves the boundary from where the unit put it,
    // and the unit by the rest. Only cycles clearer than loopCertainty whose end was seen
    // within farthestEdge units of the grid take part; a cycle whose start lies farther than
    // followingReach units from the boundary (a gap, a dropped glitch) starts it again.
    static constexpr double phaseGain = 0.3;
    static constexpr double speedGain = 0.1;
    static constexpr double loopCertainty = 0.2;
    static constexpr double farthestEdge = 0.25;
    static constexpr double followingReach = 0.2;
    // A cycle below quietShare of the signal's level (the hiss in a dropout) is classified,
    // but moves neither the unit nor the expected lengths: its length is the hiss's, and a
    // dropout's worth of hiss once pulled the unit to two thirds, after which the data's 0s
    // read as 1s for the rest of the load. The level follows the cycles slowly, so that a
    // dropout hardly moves it and a lasting change of level is followed.
    static constexpr double quietShare = 0.1;
    static constexpr double levelTracking = 1.0 / 256.0;

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
    // Where the cycles of each kind fall (in units) after a 0 and after a 1: a band limit in
    // the recording chain, or the decoder's own, lengthens a 0 next to a 1 and shortens a 1
    // next to a 0 by a steady amount, which the short/long threshold follows.
    std::array<std::array<double, 2>, 2> lengths = nominalLengths;
    int previous = 1;
    double boundary = 0.0;  // frame where the last cycle should have ended
    double level = 0.0;     // of the cycles classified, 0 until the first
    bool haveBoundary = false;
    static constexpr std::array<std::array<double, 2>, 2> nominalLengths = {
        {{0.5, 1.0}, {0.5, 1.0}}};
    bool holding = false;
    bool heldLopsided = false;  // held as a lopsided piece (else as a glitch)
    Cycle held;
    std::optional<Bit> following;
};

}  // namespace kelvanto::decode
