// SPDX-License-Identifier: MIT
// The WAV file: header bytes, size patching, sample values, silence, the clock and refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "audio/wav_file.h"
#include "base/byte_order.h"
#include "tests/support.h"

using testing_support::Bytes;
using testing_support::readFile;
using testing_support::ScratchDir;

namespace {

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t count) {
    return Bytes(bytes.begin() + static_cast<long>(from),
                 bytes.begin() + static_cast<long>(from + count));
}

// Writes the samples of a function into a closed file and returns the file's bytes.
template <typename Body>
Bytes wavWith(int rate, int bits, int channels, Body body) {
    ScratchDir dir;
    const std::string path = dir.file("out.wav");
    {
        WavFile wav;
        wav.openForOutput(path, rate, bits, channels);
        body(wav);
        wav.close();
    }
    return readFile(path);
}

}  // namespace

TEST(WavHeader, EightBitMonoAt22050BeforeAndAfterClose) {
    ScratchDir dir;
    const std::string path = dir.file("a.wav");
    WavFile wav;
    EXPECT_EQ(wav.getAmplitude(), 100);
    wav.openForOutput(path, 22050, 8, 1);
    EXPECT_EQ(wav.getAmplitude(), 95);
    const Bytes expected = {0x52, 0x49, 0x46, 0x46, 0x80, 0x80, 0x80, 0x80, 0x57, 0x41, 0x56,
                            0x45, 0x66, 0x6D, 0x74, 0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00,
                            0x01, 0x00, 0x22, 0x56, 0x00, 0x00, 0x22, 0x56, 0x00, 0x00, 0x01,
                            0x00, 0x08, 0x00, 0x64, 0x61, 0x74, 0x61, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Bytes(wav.getHeader().begin(), wav.getHeader().end()), expected);
    wav.close();
    Bytes file = readFile(path);
    ASSERT_EQ(file.size(), 44u);
    // An empty file: data size 0, RIFF size 36.
    EXPECT_EQ(slice(file, 4, 4), (Bytes{36, 0, 0, 0}));
    EXPECT_EQ(slice(file, 40, 4), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(slice(file, 0, 4), slice(expected, 0, 4));
}

TEST(WavHeader, SixteenBitStereoAt44100AndPatchedSizes) {
    const Bytes file = wavWith(44100, 16, 2, [](WavFile& wav) {
        for (int i = 0; i < 1000; ++i)
            wav.writeSample(100);
    });
    ASSERT_EQ(file.size(), 44u + 2000u);
    EXPECT_EQ(slice(file, 22, 2), (Bytes{0x02, 0x00}));
    EXPECT_EQ(slice(file, 24, 4), (Bytes{0x44, 0xAC, 0x00, 0x00}));
    EXPECT_EQ(slice(file, 28, 4), (Bytes{0x10, 0xB1, 0x02, 0x00}));
    EXPECT_EQ(slice(file, 32, 2), (Bytes{0x04, 0x00}));
    EXPECT_EQ(slice(file, 34, 2), (Bytes{0x10, 0x00}));
    EXPECT_EQ(slice(file, 4, 4), (Bytes{0xF4, 0x07, 0x00, 0x00}));   // 2044 - 8
    EXPECT_EQ(slice(file, 40, 4), (Bytes{0xD0, 0x07, 0x00, 0x00}));  // 2044 - 44
}

TEST(WavSamples, LevelsMapOffCentreAndClamp) {
    const Bytes eight = wavWith(22050, 8, 1, [](WavFile& wav) {
        for (int level : {-100, 0, 100, 250, -250, 50})
            wav.writeSample(level);
    });
    // 50 -> (150 * 255 / 200) = 191, times 0.95 = 181.45 -> 181.
    EXPECT_EQ(slice(eight, 44, 6), (Bytes{0, 120, 242, 242, 0, 181}));
    const Bytes sixteen = wavWith(22050, 16, 1, [](WavFile& wav) {
        for (int level : {-100, 0, 100, 250})
            wav.writeSample(level);
    });
    EXPECT_EQ(slice(sixteen, 44, 8), (Bytes{0x00, 0x80, 0x99, 0xF9, 0x32, 0x73, 0x32, 0x73}));
}

TEST(WavSamples, SilenceCountsBytesNotFrames) {
    EXPECT_EQ(wavWith(22050, 8, 1, [](WavFile& w) { w.writeSilence(0.5); }).size(), 44u + 11025u);
    EXPECT_EQ(wavWith(44100, 16, 1, [](WavFile& w) { w.writeSilence(0.5); }).size(), 44u + 44100u);
    const Bytes stereo = wavWith(44100, 8, 2, [](WavFile& w) { w.writeSilence(0.5); });
    EXPECT_EQ(stereo.size(), 44u + 44100u);
    EXPECT_EQ(stereo[44], 0x78);
    EXPECT_EQ(stereo.back(), 0x78);
    EXPECT_EQ(wavWith(22050, 8, 1,
                      [](WavFile& w) {
                          w.writeSilence(0.0);
                          w.writeSilence(-3.0);
                          w.writeSilence(std::nan(""));
                      })
                  .size(),
              44u);
}

TEST(WavSamples, WritingWhileClosedEndsTheRun) {
    WavFile wav;
    EXPECT_FATAL(wav.writeSample(0), "Can not write to .wav file\n");
    EXPECT_FATAL(wav.writeSilence(1.0), "Can not write to .wav file\n");
    wav.writeSilence(0.0);  // nothing to write, nothing checked
    wav.close();            // closing a closed file does nothing
}

TEST(WavOpen, ParametersAreCheckedBitsRateChannelsBeforeTheFileIsTouched) {
    ScratchDir dir;
    const std::string path = dir.file("keep.wav");
    testing_support::writeFile(path, std::string("precious"));
    WavFile wav;
    EXPECT_FATAL(wav.openForOutput(path, 48000, 12, 3),
                 "Only 8 and 16 bits per sample supported\n");
    EXPECT_FATAL(wav.openForOutput(path, 48000, 16, 3),
                 "Only 22050 and 44100 sample rates supported\n");
    EXPECT_FATAL(wav.openForOutput(path, 44100, 16, 3),
                 "Only 1 and 2 channel .wav files supported\n");
    EXPECT_EQ(readFile(path).size(), 8u);
    EXPECT_FATAL(wav.openForOutput(dir.file("no/such/dir.wav"), 22050, 8, 1),
                 "Unable to open " + dir.file("no/such/dir.wav") + "\n");
    wav.openForOutput(dir.file("a.wav"), 22050, 8, 1);
    EXPECT_FATAL(wav.openForOutput(dir.file("b.wav"), 22050, 8, 1),
                 "Wav file already open for output\n");
    wav.close();
}

TEST(ByteOrder, WordsAndLongWordsLowByteFirst) {
    unsigned char b[4];
    wordToBytes(-1, b);
    EXPECT_EQ(Bytes(b, b + 2), (Bytes{0xFF, 0xFF}));
    wordToBytes(-32768, b);
    EXPECT_EQ(Bytes(b, b + 2), (Bytes{0x00, 0x80}));
    wordToBytes(70000, b);
    EXPECT_EQ(Bytes(b, b + 2), (Bytes{0x70, 0x11}));
    longWordToBytes(-2, b);
    EXPECT_EQ(Bytes(b, b + 4), (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
    longWordToBytes(176400, b);
    EXPECT_EQ(Bytes(b, b + 4), (Bytes{0x10, 0xB1, 0x02, 0x00}));
    signedWordToBytes(-1639.9, b);  // truncated toward zero
    EXPECT_EQ(Bytes(b, b + 2), (Bytes{0x99, 0xF9}));
    EXPECT_FATAL(signedWordToBytes(32768.0, b), "Invalid signed word value\n");
    EXPECT_FATAL(signedWordToBytes(-32769.0, b), "Invalid signed word value\n");
    const unsigned char word[2] = {0x34, 0x12};
    const unsigned char top[2] = {0xFF, 0xFF};
    EXPECT_EQ(bytesToWord(word), 4660.0);
    EXPECT_EQ(bytesToWord(top), 65535.0);
}
