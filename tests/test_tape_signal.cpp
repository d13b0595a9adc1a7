// SPDX-License-Identifier: MIT
// The tape signal: cycle bytes at both rates and widths, framed characters, the bit-order
// helpers, and the block writer against a per-sample rendering, characters and tones across
// the ends of its blocks too.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "audio/tape_wav_writer.h"
#include "tests/reference_writer.h"
#include "tests/signal_decoder.h"
#include "tests/support.h"

using testing_support::Bytes;
using testing_support::decodeWav;
using testing_support::readFile;
using testing_support::ReferenceWriter;
using testing_support::ScratchDir;
using testing_support::SignalEvent;

namespace {

// One bit as the receiver reads it: a single cycle, long for 1 and short for 0.
void writeBit(TapeWavWriter& writer, int bit) {
    writer.writeCycle(bit != 0 ? writer.oneBitLength : writer.zeroBitLength);
}

// Runs body on a writer of a fresh file and returns the sample bytes (header dropped).
template <typename Body>
Bytes samplesOf(int rate, int bits, int channels, Body body) {
    ScratchDir dir;
    const std::string path = dir.file("s.wav");
    {
        TapeWavWriter writer;
        writer.open(path, rate, bits, channels);
        body(writer);
        writer.close();
    }
    Bytes file = readFile(path);
    return Bytes(file.begin() + 44, file.end());
}

Bytes repeated(std::initializer_list<unsigned char> unit, int times) {
    Bytes out;
    for (int i = 0; i < times; ++i)
        out.insert(out.end(), unit);
    return out;
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The bits of the signal, as 0 and 1 characters.
std::string bitsOf(const Bytes& samples) {
    Bytes file(44, 0);
    file[22] = 1;
    file[24] = 0x22;
    file[25] = 0x56;
    file[34] = 8;
    file.insert(file.end(), samples.begin(), samples.end());
    std::string bits;
    for (const SignalEvent& event : decodeWav(file).events)
        bits += event.value ? '1' : '0';
    return bits;
}

}  // namespace

TEST(Cycles, BitBytesAtEachRateAndWidth) {
    EXPECT_EQ(samplesOf(22050, 8, 1, [](TapeWavWriter& w) { writeBit(w, 0); }),
              (Bytes{0x00, 0x00, 0x00, 0x78, 0xF2, 0xF2, 0xF2}));
    EXPECT_EQ(samplesOf(22050, 8, 1, [](TapeWavWriter& w) { writeBit(w, 5); }),
              concat(repeated({0x00}, 7), repeated({0xF2}, 7)));
    EXPECT_EQ(samplesOf(44100, 8, 1, [](TapeWavWriter& w) { writeBit(w, 0); }),
              (Bytes{0, 0, 0, 0, 0, 0, 0x78, 0x78, 0xF2, 0xF2, 0xF2, 0xF2, 0xF2, 0xF2}));
    EXPECT_EQ(
        samplesOf(44100, 16, 2, [](TapeWavWriter& w) { writeBit(w, 1); }),
        concat(repeated({0x00, 0x80, 0x00, 0x80}, 14), repeated({0x32, 0x73, 0x32, 0x73}, 14)));
    EXPECT_EQ(
        samplesOf(22050, 16, 1, [](TapeWavWriter& w) { writeBit(w, 0); }),
        concat(concat(repeated({0x00, 0x80}, 3), Bytes{0x99, 0xF9}), repeated({0x32, 0x73}, 3)));
}

TEST(Cycles, OddAndEmptyCycles) {
    const Bytes five = samplesOf(22050, 8, 1, [](TapeWavWriter& w) { w.writeCycle(5); });
    EXPECT_EQ(five, (Bytes{0x00, 0x00, 0x78, 0xF2, 0xF2}));
    EXPECT_TRUE(samplesOf(22050, 8, 1, [](TapeWavWriter& w) {
                    w.writeCycle(0);
                    w.writeCycle(-3);
                }).empty());
    TapeWavWriter closed;
    EXPECT_FATAL(writeBit(closed, 1), "Can not write to .wav file\n");
}

TEST(Characters, WriteByteIsTopBitFirstWithoutFraming) {
    const Bytes samples = samplesOf(22050, 8, 1, [](TapeWavWriter& w) { w.writeByte(0xA5); });
    EXPECT_EQ(bitsOf(samples), "10100101");
    EXPECT_EQ(bitsOf(samplesOf(22050, 8, 1, [](TapeWavWriter& w) { w.writeByte(0x01); })),
              "00000001");
}

// Each character of a pair as the receiver reads it: a 0 start bit, the value from its lowest
// bit up, a 1 stop bit. A filler, the second of a load's last pair, follows a 1 in place of
// its start bit.
TEST(Characters, PairsAreFramedLowBitFirst) {
    const std::uint8_t pair[] = {0x41, 0x42};
    const Bytes framed =
        samplesOf(22050, 8, 1, [&](TapeWavWriter& w) { w.writeCharacters(pair, 2, false); });
    EXPECT_EQ(bitsOf(framed),
              "0100000101"
              "0010000101");
    const Bytes last =
        samplesOf(22050, 8, 1, [&](TapeWavWriter& w) { w.writeCharacters(pair, 2, true); });
    EXPECT_EQ(bitsOf(last),
              "0100000101"
              "1010000101");
}

TEST(BitOrder, ReverseAndInterleave) {
    EXPECT_EQ(reverseBits(0x01), 0x80);
    EXPECT_EQ(reverseBits(0xA5), 0xA5);
    EXPECT_EQ(reverseBits(0x40), 0x02);
    EXPECT_EQ(reverseBits(0x83), 0xC1);
    struct Case {
        std::uint8_t first, second, high, low;
    };
    for (const Case& c : {Case{0xFF, 0x00, 0xAA, 0xAA}, Case{0x00, 0xFF, 0x55, 0x55},
                          Case{0x41, 0x42, 0x40, 0x83}, Case{0x12, 0x34, 0x84, 0x1C}}) {
        std::uint8_t high = 0, low = 0;
        interleavePair(c.first, c.second, high, low);
        EXPECT_EQ(high, c.high);
        EXPECT_EQ(low, c.low);
    }
    for (int a = 0; a < 256; a += 7) {
        for (int b = 0; b < 256; b += 5) {
            std::uint8_t high = 0, low = 0, first = 0, second = 0;
            interleavePair(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b), high, low);
            interleavePair(high, low, first, second);
            EXPECT_EQ(first, a);
            EXPECT_EQ(second, b);
        }
    }
}

// Runs a check once in each of the eight formats, named in the trace of a failure.
template <typename Check>
void forEachFormat(Check check) {
    for (int rate : {22050, 44100}) {
        for (int bits : {8, 16}) {
            for (int channels : {1, 2}) {
                SCOPED_TRACE(std::to_string(rate) + "/" + std::to_string(bits) + "/" +
                             std::to_string(channels));
                check(rate, bits, channels);
            }
        }
    }
}

// The block writer against the per-sample rendering, for all eight formats, over a random
// mix of bits, bytes, odd cycles and silences.
TEST(BlockWriter, MatchesPerSampleRenderingInAllFormats) {
    forEachFormat([](int rate, int bits, int channels) {
        ScratchDir dir;
        std::mt19937 random(1234);
        TapeWavWriter writer;
        ReferenceWriter reference;
        writer.open(dir.file("fast.wav"), rate, bits, channels);
        reference.openForOutput(dir.file("slow.wav"), rate, bits, channels);
        for (int step = 0; step < 3000; ++step) {
            const unsigned choice = random() % 10;
            if (choice < 6) {
                const int bit = static_cast<int>(random() % 2);
                writeBit(writer, bit);
                reference.writeBit(bit);
            } else if (choice < 8) {
                const auto value = static_cast<std::uint8_t>(random());
                writer.writeByte(value);
                for (int b = 7; b >= 0; --b)
                    reference.writeBit((value >> b) & 1);
            } else if (choice < 9) {
                const int frames = static_cast<int>(random() % 20);
                writer.writeCycle(frames);
                reference.writeCycle(frames);
            } else {
                const double seconds = (random() % 1000) / 7919.0;
                writer.writeSilence(seconds);
                reference.writeSilence(seconds);
            }
        }
        writer.close();
        reference.close();
        const Bytes fast = readFile(dir.file("fast.wav"));
        ASSERT_GT(fast.size(), 10000u);
        EXPECT_TRUE(fast == readFile(dir.file("slow.wav")));
    });
}

// Whole loads' worth of framed characters and tones, the way a conversion sends them, across
// many ends of the writer's block: the batches copied without a check each, the character
// that reaches a block's end, fillers and tones must give the per-sample rendering's bytes.
TEST(BlockWriter, CharactersAndTonesAcrossBlockEndsMatchPerSampleRendering) {
    forEachFormat([](int rate, int bits, int channels) {
        ScratchDir dir;
        std::mt19937 random(4321);
        TapeWavWriter writer;
        ReferenceWriter reference;
        writer.open(dir.file("fast.wav"), rate, bits, channels);
        reference.openForOutput(dir.file("slow.wav"), rate, bits, channels);
        for (int run = 0; run < 12; ++run) {
            std::vector<std::uint8_t> values(random() % 3000);
            for (std::uint8_t& value : values) {
                value = static_cast<std::uint8_t>(random());
            }
            const bool filler = random() % 2 == 0;
            const std::int64_t tone = random() % 700;
            writer.writeTone(tone);
            writer.writeCharacters(values.data(), values.size(), filler);
            for (std::int64_t i = 0; i < tone; ++i) {
                reference.writeBit(1);
            }
            for (std::size_t i = 0; i < values.size(); ++i) {
                reference.writeBit(filler && i + 1 == values.size() ? 1 : 0);
                for (int bit = 0; bit < 8; ++bit) {
                    reference.writeBit((values[i] >> bit) & 1);
                }
                reference.writeBit(1);
            }
        }
        writer.close();
        reference.close();
        const Bytes fast = readFile(dir.file("fast.wav"));
        // Several blocks of the writer at every format.
        ASSERT_GT(fast.size(), 1000000u);
        EXPECT_TRUE(fast == readFile(dir.file("slow.wav")));
    });
}
