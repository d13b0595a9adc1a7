// The tape's square wave: every bit is one cycle, 7 frames for a 0 and 14 for a 1, on a grid
// of 22050 frames per second (frames are doubled at 44100). Cycles are rendered once per file.
#pragma once

#include <array>
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
    // A framed character: a 0 cycle, the value's eight cycles most significant bit first, a
    // 1 cycle; copied from a table rendered when the file is opened.
    void writeCharacter(std::uint8_t value) {
        if (characters.empty()) {  // not opened through open(): render it bit by bit
            writeCycle(zeroBitLength);
            writeByte(value);
            writeCycle(oneBitLength);
            return;
        }
        const std::uint32_t begin = characterOffset[value];
        writeBytes(characters.data() + begin, characterOffset[value + 1u] - begin);
    }

  private:
    void renderCycle(int frames, std::vector<unsigned char>& bytes) const;

    std::vector<unsigned char> zeroCycle;
    std::vector<unsigned char> oneCycle;
    std::vector<unsigned char> characters;
    std::array<std::uint32_t, 257> characterOffset{};
};
