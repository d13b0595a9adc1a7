// The tape's square wave: every bit is one cycle, 7 frames for a 0 and 14 for a 1, on a grid
// of 22050 frames per second (frames are doubled at 44100). Cycles are rendered once per file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/wav_file.h"

class TapeWavWriter : public WavFile {
  public:
    const int zeroBitLength = 7;
    const int oneBitLength = 14;

    TapeWavWriter() = default;
    ~TapeWavWriter();

    void open(const std::string& fileName, int sampleRate, int bitsPerSample, int channels);
    void close();

    // One frame at a level on every channel; twice at 44100.
    void writeLevel(int level);
    // One cycle of a number of frames: low half, a middle frame when odd, high half.
    void writeCycle(int frames);
    // Eight cycles, most significant bit first, without framing.
    void writeByte(std::uint8_t value);

  private:
    void renderCycle(int frames, std::vector<unsigned char>& bytes) const;

    std::vector<unsigned char> zeroCycle;
    std::vector<unsigned char> oneCycle;
};
