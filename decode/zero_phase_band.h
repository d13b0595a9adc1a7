// SPDX-License-Identifier: MIT
// The band-pass that the crossings are timed on: run forwards as the samples come, then
// backwards over each block, so that its phase cancels and it moves no edge.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "decode/biquad.h"

namespace kelvanto::decode {

// A filter narrow enough to matter against hiss turns the phase of the 1 tone and the 0
// tone by different amounts, so the edges between a 1 cycle and a 0 cycle move and their
// lengths blur, which costs more than the hiss it removes. Filtered once forwards and once
// backwards the phases cancel exactly and the magnitude is squared. The backward pass
// starts from rest a little beyond the samples it gives out (lookahead samples, long after
// the sections' own response has died away), so the output runs that far behind the input.
class ZeroPhaseBand {
  public:
    static constexpr std::size_t lookahead = 512;
    // A high corner at or above this share of the rate leaves the top of the band open.
    static constexpr double openAbove = 0.4;

    ZeroPhaseBand(double sampleRate, double lowCorner, double highCorner);

    // Moves the band (the filter keeps its state; the top stays below the limit).
    void retune(double lowCorner, double highCorner);

    // One sample through the forward pass.
    void push(double x) {
        pending.push_back(static_cast<float>(lowPass.process(highPass.process(x))));
    }

    // Runs the backward pass and writes every sample that is lookahead samples or more
    // behind the newest one (once at least twice that many wait); with last, writes all the
    // rest too (the end of the recording). Returns how many were written, no more than out
    // holds (the others wait for the next call).
    std::size_t emit(std::span<float> out, bool last);
    std::size_t pendingCount() const { return pending.size(); }

    // The forward pass of the two channels of a stereo recording, side by side (they must
    // have been made alike and be fed alike: one sample each of a and b at a time).
    static void pushPair(ZeroPhaseBand& left, ZeroPhaseBand& right, std::span<const double> a,
                         std::span<const double> b);
    // The same as emit for those two channels: their backward passes run side by side too.
    static std::size_t emitPair(ZeroPhaseBand& left, ZeroPhaseBand& right, std::span<float> outLeft,
                                std::span<float> outRight);

  private:
    std::size_t readyCount(std::size_t room, bool last) const;

    double rate;
    bool topOpen;
    Biquad highPass;
    Biquad lowPass;
    Biquad backHighPass;  // coefficients only: every backward pass starts from rest
    Biquad backLowPass;
    std::vector<float> pending;
};

}  // namespace kelvanto::decode
