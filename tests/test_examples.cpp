// SPDX-License-Identifier: MIT
// End to end on the shipped examples: each converts, and the receiver reads from the .wav the
// sync character, the load's data and a checksum that completes the sum.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "base/bit_order.h"
#include "tape/tarqo_bin_file.h"
#include "tests/signal_decoder.h"
#include "tests/support.h"

using testing_support::decodeWav;
using testing_support::readFile;
using testing_support::receiveLoads;
using testing_support::runKelvanto;
using testing_support::ScratchDir;
using testing_support::sourcePath;

namespace {

struct ExampleRun {
    std::deque<TapeLoad> loads;  // the model the reader builds
    testing_support::RunResult run;
    std::vector<testing_support::ReceivedLoad> received;
};

ExampleRun convertExample(const std::string& name) {
    ScratchDir dir;
    ExampleRun result;
    {
        testing_support::ScopedWorkingDir working(dir.path());  // text loads leave screen files
        TarqoBinFile tape;
        std::ifstream in(sourcePath("examples/" + name), std::ios::binary);
        tape.read(in, 0);
        result.loads = tape.loads;
    }
    result.run = runKelvanto({"-w", "out", sourcePath("examples/" + name)}, dir.path());
    std::vector<int> pairs;
    for (const TapeLoad& load : result.loads) {
        const int positions = load.getFormat() == 3 ? load.getLength() : load.getLength() + 1;
        pairs.push_back((positions + 1) / 2);
    }
    const auto wav = readFile(dir.file("out.wav"));
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(wav[22], 2);
    result.received = receiveLoads(decodeWav(wav), pairs);
    return result;
}

// 0xA5 and every character but a filler add up to 0xFF on the machine.
void expectChecksumCompletes(const testing_support::ReceivedLoad& load) {
    int sum = load.syncCharacter;
    for (std::size_t i = 0; i < load.characters.size(); ++i) {
        if (load.startBits[i] == 0)
            sum += load.characters[i];
    }
    EXPECT_EQ(sum & 0xFF, 0xFF);
}

}  // namespace

TEST(Examples, BasicProgramArrivesByteForByte) {
    const ExampleRun example = convertExample("basic.bml");
    EXPECT_EQ(example.run.status, 0);
    EXPECT_EQ(example.run.err, "");
    EXPECT_NE(example.run.out.find("    Checksum 4b is OK!\n"), std::string::npos);
    ASSERT_EQ(example.received.size(), 1u);
    const TapeLoad& load = example.loads.front();
    const auto& got = example.received.front();
    EXPECT_EQ(got.syncCharacter, 0xA5);
    EXPECT_EQ(got.headerCycles, 1575);
    // Line 10 begins the program: its number low byte first, then CLEAR's code.
    EXPECT_EQ(got.characters[0], 10);
    EXPECT_EQ(got.characters[1], 0);
    EXPECT_EQ(got.characters[2], 0x69);
    for (int i = 0; i < load.getLength(); ++i) {
        ASSERT_EQ(got.characters[static_cast<std::size_t>(i)],
                  load.dataBytes[static_cast<std::size_t>(i)])
            << i;
    }
    EXPECT_EQ(got.characters[static_cast<std::size_t>(load.getLength())], 0x4B);
    expectChecksumCompletes(got);
}

TEST(Examples, ScreenLoadInterleavesItsHalves) {
    const ExampleRun example = convertExample("screen.bml");
    EXPECT_EQ(example.run.status, 0);
    EXPECT_NE(example.run.out.find("    Checksum a6 is OK!\n"), std::string::npos);
    const TapeLoad& load = example.loads.front();
    EXPECT_EQ(load.getLength(), 3600);
    const auto& got = example.received.front();
    ASSERT_EQ(got.characters.size(), 2u * 1801u);
    for (std::size_t j = 0; j < 1800; ++j) {
        std::uint8_t high = 0, low = 0;
        interleavePair(load.dataBytes[j], load.dataBytes[j + 1800], high, low);
        ASSERT_EQ(got.characters[2 * j], reverseBits(high)) << j;
        ASSERT_EQ(got.characters[2 * j + 1], reverseBits(low)) << j;
    }
    EXPECT_EQ(got.characters.back(), 0xFF);  // the filler after the checksum
    expectChecksumCompletes(got);
}

TEST(Examples, BinaryTapeRepairsItsSecondLoad) {
    const ExampleRun example = convertExample("tape.bin");
    EXPECT_EQ(example.run.status, 0);
    EXPECT_EQ(example.run.err,
              "Calculated Checksum = 6 - Read Checksum = 5c\nRepairing checksum\n");
    ASSERT_EQ(example.received.size(), 2u);
    for (const auto& load : example.received) {
        expectChecksumCompletes(load);
    }
    EXPECT_EQ(example.received[1].startBits.back(), 1);
    EXPECT_EQ(example.received[1].characters.back(), 0xFF);
}
