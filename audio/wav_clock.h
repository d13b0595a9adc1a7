// SPDX-License-Identifier: MIT
// Measures the signal written since a mark, in seconds, by counting bytes of the file: one
// byte more than was written, the measure the tone rule (tape/load_signal.h) is stated in.
#pragma once

#include <cstdint>

#include "audio/wav_file.h"

class WavClock {
  public:
    explicit WavClock(const WavFile& file);
    void restart();
    // (put position - mark + 1) / bytes per second: one byte more than was written.
    double elapsedSeconds() const;

  private:
    const WavFile& file;
    std::int32_t mark = 0;
};
