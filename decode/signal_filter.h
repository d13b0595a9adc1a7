// SPDX-License-Identifier: MIT
// The first stage: takes the raw samples of one channel and keeps only the band the tape
// tones live in (the 1 and 0 tones, moved with the tape's speed), without moving an edge.
#pragma once

#include <span>
#include <vector>

#include "decode/biquad.h"
#include "decode/zero_phase_band.h"

namespace kelvanto::decode {

// The recordings sit off centre (silence is the middle level, not zero) and worn tapes add
// rumble and mains hum, all of which move zero crossings; hiss outside the tones only adds
// false edges. A band from 600 Hz to 5 kHz around the 1 tone (1575 Hz) and the 0 tone
// (3150 Hz), run forwards and backwards so that it moves no edge, removes both: against
// white hiss it reads loads through 2 to 3 dB more hiss than a plain one-way band of 450 Hz to
// 4.5 kHz, whose phase blurs every change between the tones. (Its corners were chosen on
// loads in hiss: a narrower band shortens a 1 next to 0s more than the classifier's
// context follows, and a low corner higher still delays the first cycles of a tone after
// silence.) Nothing of the signal is left above the band, so from 40 kHz
// up only every second (third, ...) sample is kept, at no less than 20 kHz, after a gentle
// one-way low-pass against aliasing: the later stages then do half the work or less.
//
// The output runs a fixed number of samples behind the input (the backward pass needs to
// see ahead); finish() gives out the rest at the end of the recording.
class SignalFilter {
  public:
    static constexpr double bandLow = 600.0;
    static constexpr double bandHigh = 5000.0;
    static constexpr double antiAliasCorner = 7000.0;
    static constexpr double lowestKeptRate = 20000.0;
    // Through this band a square wave's fundamental (4/pi of its level) and what is left of
    // its harmonics peak about half a dB above its level, which level reports take off again.
    static constexpr double squarePeakGainDb = 0.5;

    explicit SignalFilter(double sampleRate);

    // Filters the input and writes the kept samples that are ready to out (which must hold
    // room(in.size()) samples); returns how many were written. The state carries over from
    // one block to the next.
    std::size_t process(std::span<const float> in, std::span<float> out);
    // The samples still held back, at the end of the recording (out must hold room(0)).
    std::size_t finish(std::span<float> out);
    std::size_t room(std::size_t inputFrames) const {
        return band.pendingCount() + inputFrames / static_cast<std::size_t>(keepEvery) + 1;
    }

    // The same for the two channels of interleaved stereo frames, filtered side by side:
    // their two filter chains do not wait for each other, which nearly halves the cost.
    // Both filters must have been made for the same rate and used only this way.
    static std::size_t processPair(SignalFilter& left, SignalFilter& right,
                                   std::span<const float> frames, std::span<float> outLeft,
                                   std::span<float> outRight);

    // Moves the band with the tape's speed (1 = nominal): a tape played at half speed has
    // its 1 tone at 790 Hz, one played at twice the speed its 0 tone at 6300 Hz.
    void followSpeed(double speed);

    // Input frames per kept sample, and the rate of the kept samples.
    int step() const { return keepEvery; }
    double outputRate() const { return keptRate; }

  private:
    static double clipped(float sample);

    int keepEvery;
    double keptRate;
    double currentSpeed = 1.0;
    int phase = 0;
    Biquad antiAlias;
    ZeroPhaseBand band;
    std::vector<double> kept;  // processPair's samples between its two passes
};

}  // namespace kelvanto::decode
