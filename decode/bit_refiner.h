// SPDX-License-Identifier: MIT
// The fifth stage: where the lengths of a run of cycles leave their bits in doubt, weighs
// the filtered signal over the run and takes the likeliest row of 1s and 0s that fills it.
#pragma once

#include <optional>
#include <vector>

#include "decode/bit.h"
#include "decode/signal_history.h"

namespace kelvanto::decode {

// A cycle's length is measured between two edges, and hiss that moves one edge (or adds a
// pair, or hides one) leaves the bits around it in doubt: a 1 and a 0 seen as two cycles
// of three quarters, or as one of one and a half. The signal between the edges says more.
// Given where a cycle starts, its middle half unit is low then high for a 1, and high then
// low for a 0 and whatever follows it (every cycle starts low); the first and last
// quarters are alike either way. So the difference of the areas of the third and second
// quarters, per unit of the cycle's own level (a dropout dims the signal, not its shape),
// is the matched filter for a 1 against two 0s; its mean for the clear 1s and the clear 0s
// of the load scales it to +1 and -1 (a band limit weakens the 0s more), and its spread
// around them is the load's noise. The hiss stays when a dropout dims the signal, so the
// evidence of a dimmed cycle is less.
//
// A run of doubtful bits lies between two clear ones, whose edges hold: the run fills that
// stretch with a whole number of half units. Every row of 1s and 0s of that many half units
// is weighed by the correlation of its square wave with the signal over the stretch (fair
// between rows of more and fewer cycles: all have the same energy). When one row beats
// every other by more than the load's noise can give it, it is taken, and its bits are as
// certain as that margin: the row the lengths gave is then confirmed, another replaces it.
// A bit whose length looked clear but whose weight does not bear its value out is doubtful
// too. The count of bits may change: a cycle cut in two or two merged no longer slips the
// framing.
class BitRefiner {
  public:
    static constexpr float doubtful = 0.5f;         // bits below this certainty are weighed again
    static constexpr double againstClear = 0.2;     // ... and clear ones weighed less than this
    static constexpr float closesRun = 0.8f;        // the same after a doubtful bit, whose
    static constexpr double closesRunWeight = 0.5;  // start is the edge in doubt
    static constexpr int mostHalves = 10;           // the longest run weighed, in half units
    static constexpr double offGrid = 0.35;         // a run this far off whole half units stays
    // A row wins by marginSpreads times the spread of clear bits' weights, at least by
    // leastMargin; a margin of certainSpreads spreads makes its bits certain.
    static constexpr double marginSpreads = 1.5;
    static constexpr double leastMargin = 0.3;
    static constexpr double certainSpreads = 6.0;
    static constexpr int clearForScale = 16;  // clear bits of each value before weighing
    // The evidence a bit carries for the framer (see Bit::evidence).
    static constexpr int clearForSpread = 32;
    static constexpr double leastSpread = 0.1;
    static constexpr double mostEvidence = 12.0;
    static constexpr double dimmedShare = 0.5;  // of the clear bits' square level: a dip

    // The signal the cycles were timed on, and whether its cycles start high (an inverted
    // recording read the other way round). Without one, bits pass unchanged.
    void weigh(const SignalHistory* history, bool startsHigh);
    // A new load: what was learnt of the last one goes.
    void reset();
    // Takes the classifier's next bit (the unit in frames of the recording at the time);
    // appends the bits that are settled to out.
    void push(const Bit& bit, double unitFrames, std::vector<Bit>& out);
    // Gives out a run still held, at the end of a load or of the recording.
    void flush(std::vector<Bit>& out);

  private:
    // The weight of a cycle starting here, per unit of level, or nothing when it cannot be
    // weighed yet.
    std::optional<double> rawWeight(double from, double unitFrames, double level) const;
    std::optional<double> scaled(std::optional<double> raw) const;
    double scale() const;
    float evidenceOf(std::optional<double> weight, double level) const;
    // Puts the run right, or gives it out as read when the signal cannot settle it.
    void settle(double end, float closingLevel, std::vector<Bit>& out);

    const SignalHistory* signal = nullptr;
    double sign = 1.0;
    double meanOne = 0.0;
    double meanZero = 0.0;
    int ones = 0;
    int zeros = 0;
    double spread = 0.0;           // mean square of clear bits' weights off their value
    double hiss = 0.0;             // the same before the weights are divided by their levels
    double meanSquareLevel = 0.0;  // of the clear bits
    int spreadCount = 0;
    double unit = 0.0;
    std::vector<Bit> run;
};

}  // namespace kelvanto::decode
