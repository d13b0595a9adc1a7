// SPDX-License-Identifier: MIT
// The encoder's cycles fed straight into the decoder's tone, bit and character stages, with
// no audio in between: what the converter sends is exactly what the receiver frames.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/machine.h"
#include "decode/bit_classifier.h"
#include "decode/character_framer.h"
#include "decode/load_reader.h"
#include "decode/tone_detector.h"
#include "tape/load_signal.h"
#include "tests/decode/tape_maker.h"

using namespace kelvanto::decode;
using decode_testing::Expected;
using decode_testing::TestLoad;

namespace {

TapeLoad tapeLoadOf(const TestLoad& source) {
    TapeLoad load;
    load.setFormat(source.format);
    load.setLength(static_cast<int>(source.data.size()));
    for (std::size_t i = 0; i < source.data.size(); ++i) {
        load.setByte(static_cast<long>(i), source.data[i]);
    }
    load.setCheckSum(decode_testing::expectedOf(source).characters.back());
    load.setHeaderLength(source.header);
    load.setFooterLength(source.footer);
    return load;
}

}  // namespace

TEST(EncoderCyclesIntoDecoder, EveryFormatFramesTheCharactersSent) {
    TestLoad twoLetters;
    twoLetters.data = {0x41, 0x42};  // sends 0x41 0x42, the checksum 0xD7 and the filler
    TestLoad evenText;
    evenText.data = {0x00, 0xFF, 0x7E};  // four characters: no filler
    std::vector<TestLoad> loads = decode_testing::threeFormats();
    loads.push_back(twoLetters);
    loads.push_back(evenText);

    for (std::size_t n = 0; n < loads.size(); ++n) {
        SCOPED_TRACE(n);
        const LoadSignal signal = loadSignal(tapeLoadOf(loads[n]), machine::frameRate);
        ToneDetector tone(machine::frameRate);
        BitClassifier classifier;
        CharacterFramer framer;
        bool inLoad = false;
        std::int64_t cyclesBeforeSync = 0;
        auto feed = [&](const Bit& bit) { framer.push(bit); };
        double at = 0.0;
        signal.forEachCycle([&](int frames) {
            const Cycle cycle{at, at + frames, frames / static_cast<double>(machine::frameRate),
                              0.5f, 1.0f};
            at += frames;
            if (!inLoad) {
                if (tone.push(cycle) != ToneDetector::Event::syncStart) {
                    ++cyclesBeforeSync;
                    return;
                }
                inLoad = true;
                classifier.calibrate(tone.meanPeriod());
                framer.begin(cycle.start);
            }
            if (const std::optional<Bit> bit = classifier.push(cycle)) {
                feed(*bit);
                if (const std::optional<Bit> next = classifier.extra()) {
                    feed(*next);
                }
            }
        });
        ASSERT_TRUE(inLoad);
        EXPECT_EQ(cyclesBeforeSync, signal.headerCycles);
        ASSERT_EQ(framer.finish(), CharacterFramer::Status::finished) << framer.load().problem;

        const FramedLoad& framed = framer.load();
        const Expected want = decode_testing::expectedOf(loads[n]);
        std::vector<std::uint8_t> got;
        for (const FramedCharacter& character : framed.characters) {
            got.push_back(character.value);
            EXPECT_FALSE(character.startMisread || character.stopBad ||
                         character.extraCycleDropped);
        }
        EXPECT_EQ(got, want.characters);
        EXPECT_TRUE(machine::loadSumRight(got));
        EXPECT_EQ(framed.hasFiller, want.hasFiller);
        if (want.hasFiller) {
            EXPECT_EQ(framed.filler, want.filler);
        }
        EXPECT_EQ(framed.footerCycles, signal.footerCycles);
        EXPECT_TRUE(framed.complete);
    }
    EXPECT_EQ(decode_testing::expectedOf(twoLetters).characters,
              (std::vector<std::uint8_t>{0x41, 0x42, 0xD7}));
}

TEST(EncoderCyclesIntoDecoder, DecoderSplitsRunsOfOnesAtTheConvertersDefaultFooter) {
    // Between two loads with no gap the decoder gives the first the footer the converter
    // writes by default; both must count the same cycles.
    for (const int bytesPerSecond : {22050, 44100, 88200, 176400}) {
        EXPECT_EQ(LoadReader::defaultFooterCycles,
                  toneCycles(machine::defaultFooterLength, bytesPerSecond))
            << bytesPerSecond;
    }
}

TEST(EncoderCyclesIntoDecoder, HissThatBreaksAFooterLeavesNoLoneToneBehind) {
    // Two 1 cycles early in the footer come out as four 0s: the footer ends there,
    // and the 1s after them are the rest of it, not a header whose load was lost.
    TestLoad source;
    source.data = decode_testing::randomBytes(40, 7);
    source.footer = machine::defaultFooterLength;  // its rest could pass for a header
    const LoadSignal signal = loadSignal(tapeLoadOf(source), machine::frameRate);
    // The sync character, 41 characters and the filler.
    const std::int64_t total = signal.headerCycles + 10 * 43 + signal.footerCycles;
    const std::int64_t broken = total - signal.footerCycles + 40;
    LoadReader reader(Polarity::normal, 0, machine::frameRate);
    double at = 0.0;
    std::int64_t index = 0;
    auto push = [&](int frames) {
        reader.push(
            Cycle{at, at + frames, frames / static_cast<double>(machine::frameRate), 0.5f, 1.0f});
        at += frames;
    };
    signal.forEachCycle([&](int frames) {
        if (index == broken || index == broken + 1) {
            push(frames / 2);
            push(frames - frames / 2);
        } else {
            push(frames);
        }
        ++index;
    });
    push(machine::frameRate);  // silence
    reader.finish();
    ASSERT_EQ(index, total);
    const std::vector<LoadCandidate> loads = reader.takeReady();
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_FALSE(loads[0].toneOnly);
    EXPECT_TRUE(loads[0].framed.complete);
    EXPECT_EQ(loads[0].framed.characters.size(), 41u);  // the data and its checksum
}
