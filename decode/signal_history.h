// SPDX-License-Identifier: MIT
// The filtered samples of one channel just read, kept as running sums, so that the stages
// after the crossings can weigh the signal itself over any stretch of the last few blocks.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kelvanto::decode {

// A zero crossing gives the time of one edge; what lies between the edges (how much of a
// stretch is high and how much low) carries far more of the signal's energy, and weighing
// it is what a matched filter does. The sums make the area of any stretch two lookups.
// Sample k of the filtered stream stands for frame k * frameStep + frameStep - 1 of the
// recording, as the crossing detector counts them; each sample covers half a sample either
// side of its time, and the area of a stretch is interpolated within a sample.
class SignalHistory {
  public:
    // Samples held: the block being read (at most 2048) and the end of the one before it,
    // long enough that a few characters before the framer's place are still there.
    static constexpr std::size_t capacity = 8192;
    static_assert((capacity & (capacity - 1)) == 0, "a power of two: a ring indexed by a mask");

    explicit SignalHistory(int frameStep = 1);

    void append(std::span<const float> samples);
    // A copy of the stretch between two frames (as much of it as is held), kept with a
    // reading after the history moved on; it answers area() there as this one did.
    SignalHistory stretch(double fromFrame, double toFrame) const;
    // The area of the signal from one frame of the recording to a later one (in frames
    // times the signal's level), or nothing when the stretch is not held (yet or any more).
    std::optional<double> area(double fromFrame, double toFrame) const;
    // The running sum up to a frame (only differences of two mean anything), or nothing.
    // Sample k covers positions k to k + 1 of the running sum, centred on its own time.
    // (Here, not in the source file: every bit of every reading asks for three.)
    std::optional<double> sumAt(double frame) const {
        const std::optional<double> sum =
            sumAtPosition((frame - (frameStep - 1.0)) * perFrame + 0.5);
        if (!sum) {
            return std::nullopt;
        }
        return *sum * frameStep;
    }

  private:
    // The running sum at a position in samples (the sum of all samples before it, and the
    // share of the one it falls in), or nothing when it is not held.
    std::optional<double> sumAtPosition(double position) const {
        // Also false for a position that is not a number.
        if (!(position >= 0.0 && position <= static_cast<double>(count))) {
            return std::nullopt;
        }
        const auto n = static_cast<std::int64_t>(position);
        if (n < lowest) {
            return std::nullopt;
        }
        const double before = sums[static_cast<std::size_t>(n) & mask];
        if (n == count) {
            return before;
        }
        const double after = sums[static_cast<std::size_t>(n + 1) & mask];
        return before + (position - static_cast<double>(n)) * (after - before);
    }

    // The sums are a ring of a power of two (mask + 1) of them: sums[i & mask] is the sum of
    // the first i samples, for i from oldest (a copy holds no more than it was given) on.
    std::size_t mask = capacity - 1;
    std::int64_t oldest = 0;
    std::int64_t lowest = 0;  // the first sum still held: oldest, or count - mask
    std::vector<double> sums;
    std::int64_t count = 0;
    double total = 0.0;
    double frameStep;
    double perFrame;  // samples per frame
};

}  // namespace kelvanto::decode
