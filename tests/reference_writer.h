// SPDX-License-Identifier: MIT
// A deliberately plain per-sample renderer of the tape signal: every frame goes through
// writeSample one channel at a time. The block writer must produce exactly its bytes.
#pragma once

#include <cmath>

#include "audio/wav_file.h"
#include "tests/signal_decoder.h"

namespace testing_support {

class ReferenceWriter : public WavFile {
  public:
    void writeLevel(int level) {
        for (int channel = 0; channel < getChannels(); ++channel) {
            writeSample(level);
            if (getSampleRate() == 44100)
                writeSample(level);
        }
    }
    void writeCycle(int frames) {
        const int half = static_cast<int>(frames / 2.0);
        const int middle = static_cast<int>(std::ceil(frames / 2.0)) - half;
        int written = 0;
        for (; written < half; ++written)
            writeLevel(-100);
        if (middle == 1) {
            writeLevel(0);
            ++written;
        }
        for (; written < frames; ++written)
            writeLevel(100);
    }
    void writeBit(int bit) { writeCycle(bit ? 14 : 7); }
    // Renders decoded events: bits as cycles, silence as frames of level 0.
    void render(const DecodedWav& wav) {
        for (const SignalEvent& event : wav.events) {
            if (event.kind == SignalEvent::bit) {
                writeBit(event.value);
            } else {
                for (int i = 0; i < event.value; ++i)
                    writeLevel(0);
            }
        }
    }
};

}  // namespace testing_support
