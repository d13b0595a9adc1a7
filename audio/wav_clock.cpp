// SPDX-License-Identifier: MIT
// Time of the signal written since a mark, measured in bytes of the file.
#include "audio/wav_clock.h"

#include <iostream>

WavClock::WavClock(const WavFile& measured) : file(measured) {
    restart();
}

void WavClock::restart() {
    mark = file.position();
}

double WavClock::elapsedSeconds() const {
    if (!file.isOpen()) {
        std::cerr << "Cannot show current time for Wav file before it is opened\n";
        return 0.0;
    }
    return static_cast<double>(file.position() - mark + 1) / file.getBytesPerSecond();
}
