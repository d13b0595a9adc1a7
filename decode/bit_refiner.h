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
// quarters is the matched filter for a 1 against two 0s, and its mean for the clear 1s and
// the clear 0s of the load scales it to +1 and -1 (a band limit weakens the 0s more).
//
// A run of doubtful bits lies between two clear ones, whose edges hold: the run fills that
// stretch with a whole number of half units. Every row of 1s and 0s of that many half
// units is weighed at the starts it puts its cycles on, and the best one is taken when it
// beats the row the lengths gave by a clear margin; its bits are as certain as that margin.
// A bit whose length looked clear but whose weight clearly says the other value is
// doubtful too. The count of bits may change: a cycle cut in two or two merged no longer
// slips the framing.
class BitRefiner {
  public:
    static constexpr float doubtful = 0.5f;      // bits below this certainty are weighed again
    static constexpr double againstClear = 0.2;  // a clear bit weighed no more than this its way
    static constexpr float closesRun = 0.8f;     // ... and after a doubtful bit
    static constexpr double closesRunWeight = 0.5;
    static constexpr int mostHalves = 6;        // the longest run weighed, in half units
    static constexpr double offGrid = 0.35;     // a run this far off whole half units stays
    static constexpr double betterBy = 0.6;     // weight a new row must gain over the old
    static constexpr double clearlyBest = 0.5;  // ... and over every other row
    static constexpr int clearForScale = 16;    // clear bits of each value before weighing

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
    // The weight of a cycle starting here, or nothing when it cannot be weighed yet.
    std::optional<double> rawWeight(double from, double unitFrames) const;
    std::optional<double> scaled(std::optional<double> raw) const;
    void settle(double end, std::vector<Bit>& out);
    double scale() const;

    const SignalHistory* signal = nullptr;
    double sign = 1.0;
    double meanOne = 0.0;
    double meanZero = 0.0;
    int ones = 0;
    int zeros = 0;
    double unit = 0.0;
    std::vector<Bit> run;
};

}  // namespace kelvanto::decode
