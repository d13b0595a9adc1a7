// SPDX-License-Identifier: MIT
// The first stage: takes the raw samples of one channel and keeps only the band the tape
// tones live in (the 1 and 0 tones, give or take a third for speed errors).
#pragma once

#include <span>

#include "decode/biquad.h"

namespace kelvanto::decode {

// The recordings sit off centre (silence is the middle level, not zero) and worn tapes add
// rumble and mains hum, all of which move zero crossings; hiss above the tones only adds
// false edges. A high-pass at 450 Hz and a low-pass at 4.5 kHz (or below Nyquist at low
// rates) remove both while leaving the timing of the two tones intact. Nothing of the
// signal is left above 4.5 kHz, so from 40 kHz up only every second (third, ...) sample is
// kept, at no less than 20 kHz: the later stages then do half the work or less, and
// linear interpolation of the crossings is as exact at 22 kHz as at 44 kHz.
class SignalFilter {
  public:
    static constexpr double highCorner = 450.0;
    static constexpr double lowCorner = 4500.0;
    static constexpr double lowestKeptRate = 20000.0;
    // A square wave's harmonics add up at its edges after the band limit: its peaks come
    // out about 3 dB above its level, which level reports take off again.
    static constexpr double squarePeakGainDb = 3.0;

    explicit SignalFilter(double sampleRate);

    // Filters the input and writes the kept samples to out (which must hold at least
    // in.size() / step() + 1 samples); returns how many were written. The state carries
    // over from one block to the next.
    std::size_t process(std::span<const float> in, std::span<float> out);

    // The same for the two channels of interleaved stereo frames, filtered side by side:
    // their two filter chains do not wait for each other, which nearly halves the cost.
    // Both filters must have been made for the same rate and used only this way.
    static std::size_t processPair(SignalFilter& left, SignalFilter& right,
                                   std::span<const float> frames, std::span<float> outLeft,
                                   std::span<float> outRight);

    // Moves the band's low edge down with a slow tape's speed (1 = nominal): a tape played
    // at half speed has its 1 tone at 790 Hz, which the high-pass would flatten. The high
    // edge stays: raising it lets the harmonics of a fast tape's 0 tone fold back into the
    // band at the kept rate, which costs more than the 0 tone's lost level.
    void followSpeed(double speed);

    // Input frames per kept sample, and the rate of the kept samples.
    int step() const { return keepEvery; }
    double outputRate() const { return keptRate; }

  private:
    int keepEvery;
    double keptRate;
    double currentSpeed = 1.0;
    int phase = 0;
    Biquad lowPass;
    Biquad highPass;
};

}  // namespace kelvanto::decode
