// SPDX-License-Identifier: MIT
// The one description of the tape signal: a load's cycles against hand-written tables, the tone
// rule at its edges, the exact length a stream's header states, and lengths that keep the
// signal when a tape image changes layout.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <sstream>

#include "audio/conversion_run.h"
#include "audio/tape_wav_writer.h"
#include "tape/load_signal.h"
#include "tape/tape_lengths.h"
#include "tape/tape_writer.h"
#include "tests/load_maker.h"
#include "tests/support.h"

using testing_support::Bytes;
using testing_support::makeLoad;
using testing_support::readFile;
using testing_support::ScratchDir;

namespace {

std::vector<int> cyclesOf(const LoadSignal& signal) {
    std::vector<int> cycles;
    signal.forEachCycle([&](int frames) { cycles.push_back(frames); });
    return cycles;
}

std::vector<int> repeat(int frames, int count) {
    return std::vector<int>(static_cast<std::size_t>(count), frames);
}

std::vector<int> joined(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// Converts a tape image held in memory with kelvanto's run; the file's bytes.
Bytes wavOf(const std::string& image, int rate, int bits, int channels) {
    ScratchDir dir;
    {
        TarqoBinFile tape;
        tape.setQuiet(true);
        tape.read(std::string_view(image), 0);
        ConversionRun run;
        testing::internal::CaptureStderr();
        run.createAudioFile(tape, dir.file("t.wav"), rate, bits, channels);
        run.finish();
        testing::internal::GetCapturedStderr();
    }
    return readFile(dir.file("t.wav"));
}

// A binary tape image of one load: header 1.00 s, footer 0.25 s, the gap as a seconds pair.
std::string binaryImage(const std::vector<std::uint8_t>& data, int gapSeconds, int gapHundredths) {
    std::string out = "<TARQO format=1>";
    out += std::string{'\x01', '\x00', '\x00', '\x00', '\x00'};
    out += "<LOAD format=3>";
    out.push_back('\x01');
    out += "<HEADER>";
    out += std::string{'\x01', '\x00'};
    out += "</HEADER><DATA>";
    out.push_back(static_cast<char>(data.size() & 0xFF));
    out.push_back(static_cast<char>(data.size() >> 8));
    for (const std::uint8_t byte : data) {
        out.push_back(static_cast<char>(byte));
    }
    out += "</DATA><FOOTER>";
    out += std::string{'\x00', '\x19'};
    out += "</FOOTER><GAP>";
    out.push_back(static_cast<char>(gapSeconds));
    out.push_back(static_cast<char>(gapHundredths));
    out += "</GAP></LOAD></TARQO>";
    return out;
}

}  // namespace

// A plain load of two bytes: 16 header cycles (0.01 s), the sync character 0xA5, 0x41 and 0x42,
// the checksum 0xD7 and the filler behind its 1 start bit, 8 footer cycles (0.005 s).
TEST(LoadSignal, PlainLoadCyclesByHand) {
    const TapeLoad load = makeLoad(1, {0x41, 0x42}, 0xD7, 0.01, 0.005, 0.5);
    const LoadSignal signal = loadSignal(load, 22050);
    const std::vector<int> expected = joined({
        repeat(14, 16),
        {7, /* A5 */ 14, 7, 14, 7, 7, 14, 7, 14, /* stop */ 14},
        {7, /* 41 */ 14, 7, 7, 7, 7, 7, 14, 7, 14},
        {7, /* 42 */ 7, 14, 7, 7, 7, 7, 14, 7, 14},
        {7, /* D7 */ 14, 14, 14, 7, 14, 7, 14, 14, 14},
        {14, /* FF, the filler */ 14, 14, 14, 14, 14, 14, 14, 14, 14},
        repeat(14, 8),
    });
    EXPECT_EQ(cyclesOf(signal), expected);
    EXPECT_EQ(signal.cycleFrames(), std::accumulate(expected.begin(), expected.end(), 0));
    EXPECT_EQ(signal.gapSeconds, 0.5);
}

// A binary load sends its halves interleaved: bytes 0x12 and 0x34 arrive as 0x21 and 0x38,
// and the wrong stated checksum 0x38 goes out repaired as 0x39 (0xA5 + 0x21 + 0x39 = 0xFF).
TEST(LoadSignal, BinaryLoadCyclesByHand) {
    const TapeLoad load = makeLoad(3, {0x12, 0x34}, 0, 0.0, 0.0, 0.0);
    const LoadSignal signal = loadSignal(load, 44100);
    const std::vector<int> expected = {
        7, 14, 7, 14, 7,  7,  14, 7, 14, 14,  // A5
        7, 14, 7, 7,  7,  7,  14, 7, 7,  14,  // 21
        7, 14, 7, 7,  14, 14, 14, 7, 7,  14,  // 39
    };
    EXPECT_EQ(cyclesOf(signal), expected);
    EXPECT_EQ(signal.headerCycles, 0);
    EXPECT_FALSE(signal.sent.filler);
}

// A tone holds the fewest 1 cycles whose length plus one byte of the file reaches its
// seconds. 224.5 frames lie between 16 cycles plus a byte at 22050 bytes a second and 16
// cycles plus a byte at 176400, so the 16-bit stereo 44100 file takes one cycle more.
TEST(LoadSignal, ToneRuleAtTheEdgeOfACycle) {
    struct Case {
        double seconds;
        int bytesPerSecond;
        std::int64_t cycles;
    };
    for (const Case& c :
         {Case{224.5 / 22050, 22050, 16}, Case{224.5 / 22050, 44100, 16},
          Case{224.5 / 22050, 176400, 17}, Case{0.01, 22050, 16}, Case{1.0, 22050, 1575},
          Case{14.0 / 22050, 22050, 1}, Case{1.0 / 22050, 22050, 0}, Case{0.0, 22050, 0},
          Case{-1.0, 22050, 0}, Case{std::nan(""), 22050, 0}}) {
        EXPECT_EQ(toneCycles(c.seconds, c.bytesPerSecond), c.cycles)
            << c.seconds << " s at " << c.bytesPerSecond;
    }
}

// The bytes a stream's header states are the bytes the run writes, in every format, for
// loads of every shape (odd gaps put half a stereo frame of silence in the file).
TEST(LoadSignal, SignalBytesAreTheBytesWritten) {
    const std::vector<TapeLoad> loads = {
        makeLoad(1, {0x41, 0x42, 0x43}, 0x00, 0.3, 0.1, 0.33),
        makeLoad(2, std::vector<std::uint8_t>(37, 0x5A), 0x12, 0.0, 0.77, 1.0 / 7),
        makeLoad(3, {0x01, 0x02, 0x03, 0x04, 0x05}, 0x00, 2.28, 0.0, 0.0001),
    };
    for (int rate : {22050, 44100}) {
        for (int bits : {8, 16}) {
            for (int channels : {1, 2}) {
                ScratchDir dir;
                TarqoBinFile tape;
                tape.loads.assign(loads.begin(), loads.end());
                {
                    ConversionRun run;
                    testing::internal::CaptureStderr();
                    run.createAudioFile(tape, dir.file("t.wav"), rate, bits, channels);
                    run.finish();
                    EXPECT_NE(testing::internal::GetCapturedStderr(), "");  // repaired

                }
                std::int64_t expected = 0;
                for (const TapeLoad& load : loads) {
                    expected += TapeWavWriter::signalBytes(
                        loadSignal(load, rate * bits / 8 * channels), rate, bits, channels);
                }
                EXPECT_EQ(static_cast<std::int64_t>(readFile(dir.file("t.wav")).size()),
                          WavFile::headerSize + expected)
                    << rate << "/" << bits << "/" << channels;
            }
        }
    }
}

TEST(TapeLengths, TextReadsBackAsTheSameDouble) {
    struct Case {
        double length;
        const char* text;
    };
    for (const Case& c : {Case{0.5, "0.500000"}, Case{0.25, "0.250000"}, Case{0.0, "0.000000"},
                          Case{2 + 28 / 100.0, "2.2800000000000002"},
                          Case{1 + 14 / 100.0, "1.1400000000000001"}, Case{0.29, "0.290000"}}) {
        EXPECT_EQ(lengthText(c.length), c.text);
        EXPECT_EQ(readLengthText(lengthText(c.length)), c.length) << c.text;
    }
    // An exponent beyond a double's range reads as infinite, and is written to read so again.
    const double endless = readLengthText("0.001e90000");
    EXPECT_TRUE(std::isinf(endless) && endless > 0.0);
    EXPECT_EQ(readLengthText(lengthText(endless)), endless);
    // More than six decimals: rounded, which the writer reports.
    EXPECT_EQ(lengthText(0.1234567), "0.123457");
    EXPECT_EQ(lengthText(1.0 / 3), "0.333333");
    EXPECT_EQ(secondsPair(2.28).hundredths, 28);
    EXPECT_EQ(secondsPair(0.29).hundredths, 29);
    EXPECT_EQ((SecondsPair{2, 28}.value()), 2 + 28 / 100.0);
}

// A binary load's gap of 2 s and 28 hundredths, written as markup and converted, gives the
// very bytes the binary image gives, with no warning; the same for other hundredths.
TEST(TapeLengths, BinaryAndMarkupOfTheSameTapeMakeTheSameAudio) {
    for (int hundredths : {28, 47, 53, 72, 78, 97, 29, 1}) {
        SCOPED_TRACE(hundredths);
        const std::string binary = binaryImage({0x10, 0x20, 0x30, 0x40, 0x50, 0x60}, 2, hundredths);
        TarqoBinFile tape;
        tape.setQuiet(true);
        tape.read(std::string_view(binary), 0);
        const WrittenTape text = TapeWriter(tape).write(tape, TapeLayout::text);
        EXPECT_TRUE(text.warnings.empty()) << text.warnings.front();
        for (int rate : {22050, 44100}) {
            EXPECT_TRUE(wavOf(binary, rate, 8, 2) == wavOf(text.bytes, rate, 8, 2)) << rate;
        }
    }
}
