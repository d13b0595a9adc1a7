// The first stage: takes the raw samples of one channel and keeps only the band the tape
// tones live in (1575 and 3150 Hz, give or take a third for speed errors).
#pragma once

#include <span>

#include "decode/biquad.h"

namespace kelvanto::decode {

// The recordings sit off centre (silence is the middle level, not zero) and worn tapes add
// rumble and mains hum, all of which move zero crossings; hiss above the tones only adds
// false edges. A high-pass at 450 Hz and a low-pass at 5.5 kHz (or below Nyquist at low
// rates) remove both while leaving the timing of the two tones intact.
class SignalFilter {
  public:
    static constexpr double highCorner = 450.0;
    static constexpr double lowCorner = 5500.0;

    // A square wave's harmonics add up at its edges after the band limit: its peaks come
    // out about 3 dB above its level, which level reports take off again.
    static constexpr double squarePeakGainDb = 3.0;

    explicit SignalFilter(double sampleRate);

    // Filters in place; the filter's state carries over from one block to the next.
    void process(std::span<float> samples);

  private:
    Biquad highPass;
    Biquad lowPass;
};

}  // namespace kelvanto::decode
