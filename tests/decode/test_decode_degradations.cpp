// SPDX-License-Identifier: MIT
// Whole recordings through the decoder: the converter's own output in every format, then
// the same signal after the damage that worn cassettes and recording chains do.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <random>

#include "decode/take_merger.h"
#include "tests/decode/degradations.h"
#include "tests/decode/tape_maker.h"

using namespace decode_testing;
using kelvanto::decode::CharacterDoubt;
using kelvanto::decode::DecodedLoad;
using kelvanto::decode::mergeTakes;
using kelvanto::decode::Polarity;
using kelvanto::decode::Repair;
using kelvanto::decode::Verdict;

namespace {

const std::vector<TestLoad>& loads() {
    static const std::vector<TestLoad> value = threeFormats();
    return value;
}

const Recording& clean(int rate) {
    static const Recording at22 = render(loads(), 22050, 16, 1);
    static const Recording at44 = render(loads(), 44100, 16, 1);
    return rate == 22050 ? at22 : at44;
}

struct Damage {
    const char* name;
    int rate;  // the converter's rate the damage starts from
    std::function<Recording(Recording)> apply;
};

std::ostream& operator<<(std::ostream& out, const Damage& damage) {
    return out << damage.name;
}

Recording noisy(Recording r, double snr) {
    addNoise(r, snr, 1234);
    return r;
}

const std::vector<Damage>& damages() {
    static const std::vector<Damage> all = {
        {"Noise10dB", 22050, [](Recording r) { return noisy(r, 10.0); }},
        {"Noise8dBAt44100", 44100, [](Recording r) { return noisy(r, 8.0); }},
        // Hiss that moves edges by a quarter of a 0 cycle: the signal between them decides,
        // and slips are settled by what it says of each way to put them right.
        {"Noise2_5dBAt44100", 44100, [](Recording r) { return noisy(r, 2.5); }},
        {"Slow075", 22050, [](Recording r) { return speed(r, 0.75); }},
        {"Fast130", 22050, [](Recording r) { return speed(r, 1.30); }},
        {"WowAndFlutter", 44100,
         [](Recording r) { return wowAndFlutter(r, 0.02, 0.5, 0.007, 7.0); }},
        {"LowPass3k", 22050,
         [](Recording r) {
             lowPass(r, 3000);
             return r;
         }},
        {"HighPass1k", 22050,
         [](Recording r) {
             highPass(r, 1000);
             return r;
         }},
        {"Inverted", 22050,
         [](Recording r) {
             scale(r, -1.0);
             return r;
         }},
        {"DcOffset30", 22050,
         [](Recording r) {
             addOffset(r, 0.3);
             return r;
         }},
        {"Minus60dBFS", 22050,
         [](Recording r) {
             scale(r, 0.001);
             return r;
         }},
        {"Clipped1Percent", 22050,
         [](Recording r) {
             clip(r, 0.01);
             return r;
         }},
        {"Resampled8000", 22050, [](Recording r) { return resample(r, 8000); }},
        {"Resampled11025", 22050, [](Recording r) { return resample(r, 11025); }},
        {"Resampled48000", 44100, [](Recording r) { return resample(r, 48000); }},
        {"Resampled96000", 44100, [](Recording r) { return resample(r, 96000); }},
        {"FourBits", 22050,
         [](Recording r) {
             quantise(r, 4);
             return r;
         }},
        {"Hum50Hz", 22050,
         [](Recording r) {
             addHum(r, 0.95);
             return r;
         }},
        // Hum 90 times the signal, the level set so that both fit a 16-bit file.
        {"HumFarAboveTheSignal", 44100,
         [](Recording r) {
             scale(r, 0.01);
             addHum(r, 0.9);
             quantise(r, 16);
             return r;
         }},
        {"StereoSkew", 44100, [](Recording r) { return stereoWithSkew(r, 0.0003); }},
        // Two heads out of line, summed into one channel: the 0 cycles' tone half cancelled.
        {"SkewedHeadsSummed", 44100,
         [](Recording r) { return summedToMono(stereoWithSkew(r, 0.00012)); }},
        {"StereoOneChannelNoise", 22050, [](Recording r) { return stereoWithNoiseChannel(r, 99); }},
        {"WornCassette", 44100,
         [](Recording r) {
             highPass(r, 120);
             lowPass(r, 4500);
             driftLevel(r, 0.3, 0.7);
             Recording w = wowAndFlutter(r, 0.004, 0.5, 0.002, 8.0);
             addNoise(w, 16.0, 77);
             return w;
         }},
        {"InvertedSlowAndHum", 22050,
         [](Recording r) {
             scale(r, -1.0);
             Recording s = speed(r, 0.8);
             addHum(s, 0.95);
             return s;
         }},
        {"FastLowPassNoise", 44100,
         [](Recording r) {
             Recording s = speed(r, 1.2);
             lowPass(s, 3500);
             addNoise(s, 14.0, 5);
             return s;
         }},
    };
    return all;
}

class DamagedRecording : public ::testing::TestWithParam<Damage> {};

}  // namespace

TEST_P(DamagedRecording, EveryLoadExact) {
    const Damage& damage = GetParam();
    const Recording damaged = damage.apply(clean(damage.rate));
    EXPECT_EQ(exactLoads(decode(damaged), loads()), 3);
}

INSTANTIATE_TEST_SUITE_P(Decode, DamagedRecording, ::testing::ValuesIn(damages()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CleanRecording, EveryOutputFormatAndLoadFormat) {
    for (const int rate : {22050, 44100}) {
        for (const int bits : {8, 16}) {
            for (const int channels : {1, 2}) {
                SCOPED_TRACE(testing::Message()
                             << rate << " Hz, " << bits << " bit, " << channels << " channel(s)");
                const std::vector<DecodedLoad> got = decode(render(loads(), rate, bits, channels));
                EXPECT_EQ(exactLoads(got, loads()), 3);
                for (const DecodedLoad& load : got) {
                    EXPECT_EQ(load.verdict, Verdict::ok);
                    EXPECT_EQ(load.polarity, Polarity::normal);
                    EXPECT_NEAR(load.speedRatio, 1.0, 0.01);
                    EXPECT_TRUE(load.repairs.empty());
                }
            }
        }
    }
}

TEST(CleanRecording, TonesGapsAndPositions) {
    const Recording& recording = clean(22050);
    const std::vector<DecodedLoad> got = decode(recording);
    ASSERT_EQ(got.size(), 3u);
    // The first load starts the recording; 0.2 s of header is 315 cycles of 14 frames.
    EXPECT_LE(got[0].startSample, 14);
    EXPECT_NEAR(got[0].headerSeconds, 315 * 14 / 22050.0, 0.002);
    EXPECT_NEAR(got[0].footerSeconds, 158 * 14 / 22050.0, 0.002);
    EXPECT_NEAR(got[0].gapSeconds, 0.15, 0.002);
    EXPECT_NEAR(got[2].gapSeconds, 0.2, 0.002);
    EXPECT_NEAR(got[2].footerSeconds, 158 * 14 / 22050.0, 0.002);
    EXPECT_LT(got[0].endSample, got[1].startSample);
    // The converter's square wave spans 95 % of full scale: -0.45 dBFS.
    EXPECT_NEAR(got[1].levelDbfs, -0.45, 1.5);
}

// A click inside a header tone cuts a cycle: the 0 it leaves opens no sync character, and the
// tone goes on with every cycle read while one was looked for counted.
TEST(DamagedRecording, AClickInAHeaderToneKeepsItsCount) {
    const Recording& recording = clean(22050);
    const int cleanCycles = decode(recording)[0].headerCycles;
    Recording clicked = recording;
    // Half way through the tone (14 frames a cycle), the high half of one cycle pulled down.
    const std::size_t at = 14 * 150 + 8;
    for (std::size_t i = at; i < at + 4; ++i) {
        clicked.samples[i] = -clicked.samples[i];
    }
    const std::vector<DecodedLoad> got = decode(clicked);
    ASSERT_EQ(exactLoads(got, loads()), 3);
    EXPECT_NEAR(got[0].headerCycles, cleanCycles, 2);
}

TEST(DamagedRecording, EveryOutputFormatSurvivesCommonDamage) {
    const std::vector<Damage> common = {
        {"inverted, half level, noise at 12 dB", 0,
         [](Recording r) {
             scale(r, -0.5);
             return noisy(r, 12.0);
         }},
        {"slow by a quarter, with hum", 0,
         [](Recording r) {
             Recording s = speed(r, 0.75);
             addHum(s, 0.95);
             return s;
         }},
        {"low-pass 3 kHz, DC offset", 0,
         [](Recording r) {
             lowPass(r, 3000);
             addOffset(r, 0.3);
             return r;
         }},
    };
    for (const int rate : {22050, 44100}) {
        for (const int bits : {8, 16}) {
            for (const int channels : {1, 2}) {
                const Recording r = render(loads(), rate, bits, channels);
                for (const Damage& damage : common) {
                    SCOPED_TRACE(testing::Message() << rate << " Hz, " << bits << " bit, "
                                                    << channels << " channel(s), " << damage.name);
                    EXPECT_EQ(exactLoads(decode(damage.apply(r)), loads()), 3);
                }
            }
        }
    }
}

TEST(DamagedRecording, DropoutInsideDataIsNeverWrongAndOk) {
    Recording r = clean(22050);
    // Into the data of the first load: its header is 0.2 s long.
    dropout(r, 0.25, 0.002);
    const std::vector<DecodedLoad> got = decode(r);
    ASSERT_FALSE(got.empty());
    const Expected want = expectedOf(loads()[0]);
    const bool exact = got[0].characters == want.characters;
    EXPECT_TRUE(got[0].verdict == Verdict::bad || (got[0].verdict == Verdict::repaired && exact))
        << verdictName(got[0].verdict);
    EXPECT_NE(got[0].verdict, Verdict::ok);
    EXPECT_FALSE(got[0].problem.empty() && got[0].verdict == Verdict::bad);
}

// A dropout inside a footer ends it there; the 1s after it are still that footer, not a
// header whose load was lost (a BAD "load" on a perfect reading, and exit status 2).
TEST(DamagedRecording, ADropoutInsideAFooterLeavesNoToneOfItsOwn) {
    TestLoad first = binaryLoadWithRightChecksum(40, 7);
    first.footer = 0.25;
    first.gap = 0.5;
    TestLoad second = binaryLoadWithRightChecksum(30, 8);
    for (const int rate : {22050, 44100}) {
        const Recording clean = render({first, second}, rate, 16, 1);
        const std::vector<DecodedLoad> read = decode(clean);
        ASSERT_EQ(read.size(), 2u);
        const double footerStart = read[0].endSeconds - read[0].footerSeconds;
        // Dropouts as long as the longest bridged in data, some from the footer's start.
        for (const double seconds : {0.003, 0.01, 0.03, 0.08, 0.12, -0.08, -0.12}) {
            Recording r = clean;
            const double from = seconds > 0 ? 0.05 : 0.002;
            dropout(r, footerStart + from, std::fabs(seconds));
            const std::vector<DecodedLoad> got = decode(r);
            ASSERT_EQ(got.size(), 2u) << rate << " Hz, " << seconds << " s";
            EXPECT_EQ(exactLoads(got, {first, second}), 2);
            // A rest too short to be read as a tone is left out of the footer.
            if (0.25 - from - std::fabs(seconds) > 0.15) {
                EXPECT_NEAR(got[0].footerSeconds, 0.25, 0.01) << rate << " Hz, " << seconds << " s";
            }
        }
    }
}

// A dropout of a few milliseconds inside the data takes the characters under it and no
// more: the reading picks up after it, every other character in its place. One character
// lost alone takes the value the checksum gives it (REPAIRED, exactly right); two stay
// unknown (BAD). The same holds with the tape a little slow.
TEST(DamagedRecording, ADropoutInsideDataLosesOnlyTheCharactersUnderIt) {
    const TestLoad load = binaryLoadWithRightChecksum(300, 41);
    const Expected want = expectedOf(load);
    int repaired = 0;
    for (const int rate : {22050, 44100}) {
        const Recording whole = speed(render({load}, rate, 16, 1), 0.97);
        for (int k = 0; k < 6; ++k) {
            Recording r = whole;
            // Into the data (its header is 0.2 s long), 0.137 s apart.
            dropout(r, 0.3 + 0.137 * k, 0.003);
            const std::vector<DecodedLoad> got = decode(r);
            ASSERT_EQ(got.size(), 1u) << rate << " " << k;
            ASSERT_EQ(got[0].characters.size(), want.characters.size()) << rate << " " << k;
            std::vector<bool> lost(want.characters.size(), false);
            for (const auto& doubt : got[0].doubts) {
                lost[doubt.character] = doubt.kind == CharacterDoubt::Kind::lost;
            }
            const auto unknown = std::count(lost.begin(), lost.end(), true);
            for (std::size_t i = 0; i < lost.size(); ++i) {
                EXPECT_TRUE(lost[i] || got[0].characters[i] == want.characters[i])
                    << rate << " " << k << " character " << i;
            }
            if (got[0].verdict == Verdict::repaired) {
                ++repaired;
                EXPECT_EQ(unknown, 0);
                ASSERT_EQ(got[0].repairs.size(), 1u);
                EXPECT_EQ(got[0].repairs[0].kind, Repair::Kind::lost);
            } else {
                EXPECT_EQ(got[0].verdict, Verdict::bad);
                EXPECT_TRUE(unknown == 1 || unknown == 2) << rate << " " << k;
            }
        }
    }
    EXPECT_GE(repaired, 3);
}

// A 1 read at a start bit's place just before a dropout, with the signal lost after it, looked
// like the load's end (a short footer and silence): the reading stopped there, counted as whole,
// and the rest of the data was never read. The signal coming back with data within the longest
// bridged dropout shows it was no end. Swept over the phases of a few characters, with hiss.
TEST(DamagedRecording, AShortDropoutInTheDataIsNoEndOfTheLoad) {
    const TestLoad load = binaryLoadWithRightChecksum(120, 43);
    const Expected want = expectedOf(load);
    for (const int rate : {22050, 44100}) {
        const Recording clean = render({load}, rate, 16, 1);
        for (int k = 0; k < 200; ++k) {
            Recording r = clean;
            dropout(r, 0.35 + 0.00013 * k, 0.003);
            addNoise(r, 18.0 + (k % 3) * 6.0, 7 + static_cast<unsigned>(k));
            const std::vector<DecodedLoad> got = decode(r);
            ASSERT_GE(got.size(), 1u) << rate << " " << k;
            // Hiss can add a character where the dropout cut a cycle (BAD); none go missing.
            EXPECT_GE(got[0].characters.size(), want.characters.size())
                << rate << " Hz, dropout " << k << ": " << got[0].characters.size() << " "
                << got[0].problem;
            if (got[0].verdict != Verdict::bad) {
                EXPECT_EQ(got[0].characters, want.characters) << rate << " Hz, dropout " << k;
            }
        }
    }
}

// A dropout of 12 to 45 ms inside the data, silent or with hiss, is longer than the stretch can
// count (a character lasts 11 to 19 half units): the reading goes on after it all the same, the
// likeliest count kept as unknown characters, and the load is BAD and says by how many places the
// rest may stand off. Here (random data) that count is the true one, every character after it in
// its place. Two takes with such dropouts in different places read it exactly; in the same place,
// they do not.
TEST(DamagedRecording, ADropoutTooLongToCountKeepsTheCharactersAfterIt) {
    const TestLoad load = binaryLoadWithRightChecksum(300, 41);
    const Expected want = expectedOf(load);
    for (const int rate : {22050, 44100}) {
        const Recording whole = render({load}, rate, 16, 1);
        for (const double seconds : {0.012, 0.025, 0.045, -0.045}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, " << seconds << " s");
            Recording r = whole;
            dropout(r, 0.5, std::fabs(seconds));
            if (seconds < 0.0) {
                // Hiss in the dropout: once the level has sunk, some of it reads as cycles.
                addNoise(r, 30.0, 3);
            }
            const std::vector<DecodedLoad> got = decode(r);
            ASSERT_EQ(got.size(), 1u);
            EXPECT_EQ(got[0].verdict, Verdict::bad);
            ASSERT_EQ(got[0].characters.size(), want.characters.size());
            std::size_t lost = 0;
            for (const auto& doubt : got[0].doubts) {
                lost += doubt.kind == CharacterDoubt::Kind::lost ? 1 : 0;
            }
            for (std::size_t i = 0; i < want.characters.size(); ++i) {
                const bool under = std::any_of(got[0].doubts.begin(), got[0].doubts.end(),
                                               [&](const auto& d) { return d.character == i; });
                EXPECT_TRUE(under || got[0].characters[i] == want.characters[i]) << i;
            }
            // About one character lost per 105 frames at 22050 Hz; with hiss, a character or
            // two either side read too unclearly to keep.
            const double under = std::fabs(seconds) * 22050.0 / 105.0;
            EXPECT_GE(static_cast<double>(lost), under - 1.5);
            EXPECT_LE(static_cast<double>(lost), under + (seconds < 0.0 ? 4.0 : 1.5));
            EXPECT_NE(got[0].problem.find("; it lasted as long as "), std::string::npos)
                << got[0].problem;
        }
    }
    const Recording whole = render({load}, 22050, 16, 1);
    Recording early = whole;
    dropout(early, 0.5, 0.025);
    // (Dropouts of 70 ms take enough characters, unknown, to fill a whole span over which the
    // takes are laid beside each other; those say nothing against it.)
    Recording late = whole;
    dropout(late, 0.9, 0.07);
    EXPECT_EQ(decode(early)[0].problem,
              "the signal was lost over characters 62 to 67 (a dropout), so their values are "
              "unknown; it lasted as long as 5 to 8 characters, so those after it may stand up "
              "to 2 places off");
    Recording earlyLong = whole;
    dropout(earlyLong, 0.5, 0.07);
    for (const auto& takes : {std::vector<Recording>{early, late},
                              {late, early},
                              {earlyLong, late},
                              {late, earlyLong}}) {
        const std::vector<DecodedLoad> got = mergeTakes({decode(takes[0]), decode(takes[1])});
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].verdict, Verdict::repaired) << got[0].problem;
        EXPECT_EQ(got[0].characters, want.characters);
    }
    Recording again = whole;
    dropout(again, 0.5, 0.03);
    const std::vector<DecodedLoad> same = mergeTakes({decode(early), decode(again)});
    ASSERT_EQ(same.size(), 1u);
    EXPECT_EQ(same[0].verdict, Verdict::bad);
}

// A save cut off and recorded over: the next load's header tone follows the cut at once and
// looks just like a footer, and the last character read matches the checksum one time in
// 256. A cut inside a cycle leaves one of odd length at the join, and such a load is never
// OK or REPAIRED: scanned here, every cut at least two frames into a low half of a cycle (a
// frame or less from a cycle's edge, the join is too clean to tell). Cut right after its sync
// character, it is no load without data. Loads saved without a gap still read OK.
TEST(DamagedRecording, ALoadCutOffAndRecordedOverIsNeverTakenForAWholeOne) {
    TestLoad cut;
    cut.data = randomBytes(12, 1);
    cut.header = 0.3;
    cut.footer = 0.25;
    cut.gap = 0.0;
    TestLoad next = cut;
    next.data = randomBytes(8, 4);
    next.gap = 0.2;
    ASSERT_EQ(exactLoads(decode(render({cut, next}, 22050, 16, 1)), {cut, next}), 2);

    const Recording first = render({cut}, 22050, 16, 1);
    const Recording second = render({next}, 22050, 16, 1);
    const std::vector<std::uint8_t> wantCut = expectedOf(cut).characters;
    const std::vector<std::uint8_t> wantNext = expectedOf(next).characters;
    // 473 cycles of header tone (0.3 s), then the sync character's 105 frames.
    const std::size_t dataStart = 473 * 14 + 105;
    const auto dataEnd = dataStart + 12 * 133;
    int scanned = 0;
    for (std::size_t at = dataStart; at < dataEnd; ++at) {
        if (!(first.samples[at - 2] < 0.0f && first.samples[at - 1] < 0.0f &&
              first.samples[at] < 0.0f)) {
            continue;
        }
        Recording joined = first;
        joined.samples.resize(at);
        joined.samples.insert(joined.samples.end(), second.samples.begin(), second.samples.end());
        ++scanned;
        for (const DecodedLoad& load : decode(joined)) {
            EXPECT_TRUE(load.verdict == Verdict::bad || load.characters == wantCut ||
                        load.characters == wantNext)
                << "cut at " << at << ": " << verdictName(load.verdict) << " with "
                << load.characters.size() << " characters";
        }
    }
    EXPECT_GT(scanned, 200);

    // Cut right after the sync character: a load "without data" in front of the next one.
    Recording joined = first;
    joined.samples.resize(dataStart + 2);
    joined.samples.insert(joined.samples.end(), second.samples.begin(), second.samples.end());
    const std::vector<DecodedLoad> got = decode(joined);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0].verdict, Verdict::bad);
    EXPECT_TRUE(got[0].characters.empty());
    EXPECT_EQ(got[0].problem,
              "no characters, and the footer runs straight into the next load's tone (a load cut "
              "off and recorded over ends like this)");
}

// A load's data cut and joined straight into another load's data (an edit, a copy started
// late): a slip at the join reads some way that the checksum matches once in 256, and every
// cut here was REPAIRED into data of neither load until a slip's reading had to last as long
// as its character did.
TEST(DamagedRecording, DataCutAndJoinedIntoAnotherLoadsDataIsNotRepaired) {
    struct Join {
        unsigned seed;
        std::size_t cut;
        std::size_t from;
    };
    const Join joins[] = {{1, 7788, 8499}, {1, 7899, 7308}, {2, 6884, 8323},
                          {2, 7061, 7786}, {2, 7120, 7007}, {2, 7133, 7354},
                          {2, 7687, 7880}, {3, 6930, 7197}, {3, 7207, 8360}};
    for (const Join& join : joins) {
        TestLoad cut;
        cut.data = randomBytes(12, join.seed);
        cut.header = 0.3;
        cut.footer = 0.25;
        cut.gap = 0.0;
        TestLoad other = cut;
        other.data = randomBytes(40, join.seed + 10);
        other.gap = 0.2;
        Recording joined = render({cut}, 22050, 16, 1);
        const Recording second = render({other}, 22050, 16, 1);
        joined.samples.resize(join.cut);
        joined.samples.insert(joined.samples.end(),
                              second.samples.begin() + static_cast<long>(join.from),
                              second.samples.end());
        const std::vector<DecodedLoad> got = decode(joined);
        ASSERT_EQ(got.size(), 1u) << "cut at " << join.cut;
        EXPECT_EQ(got[0].verdict, Verdict::bad) << "cut at " << join.cut;
        EXPECT_NE(got[0].problem.find("does not last as long as the character did"),
                  std::string::npos)
            << "cut at " << join.cut << ": " << got[0].problem;
    }
}

// A dip of level to a quarter over a load's sync character (worn oxide there): the sync
// character is far quieter than the tone before it, which hiss after a tone would be too.
// The characters framed after it show that it is one, and the load reads exactly.
TEST(DamagedRecording, ADipOverTheSyncCharacterLosesNoLoad) {
    for (const int rate : {22050, 44100}) {
        const std::vector<DecodedLoad> where = decode(clean(rate));
        ASSERT_EQ(where.size(), 3u);
        for (std::size_t dipped = 0; dipped < 3; ++dipped) {
            Recording r = clean(rate);
            const double from = where[dipped].syncSeconds - 0.002;
            const double to = where[dipped].syncSeconds + 0.008;
            const double ramp = 0.001;
            for (std::size_t i = 0; i < r.frames(); ++i) {
                const double t = static_cast<double>(i) / r.rate;
                const double inside = std::clamp(std::min(t - from, to - t) / ramp, 0.0, 1.0);
                r.samples[i] *= static_cast<float>(1.0 - 0.75 * inside);
            }
            EXPECT_EQ(exactLoads(decode(r), loads()), 3) << rate << " Hz, load " << dipped;
        }
    }
}

TEST(DamagedRecording, DrownedInNoiseIsBadWithAReport) {
    Recording r = noisy(clean(22050), 0.0);
    const std::vector<DecodedLoad> got = decode(r);
    for (const DecodedLoad& load : got) {
        EXPECT_EQ(load.verdict, Verdict::bad) << load.startSeconds;
        EXPECT_FALSE(load.problem.empty());
    }
    EXPECT_FALSE(got.empty());
}

TEST(DamagedRecording, OneStretchedCycleIsRepairedAndReported) {
    // The first load (text, 0.2 s of header: 315 cycles of 14 frames) starts with the sync
    // character (0 1010 0101 1: 105 frames) and then its first character's start bit (7).
    const TestLoad& first = loads()[0];
    int bit = 0;
    while ((first.data[0] >> bit) & 1) {
        ++bit;
    }
    std::size_t at = 315 * 14 + 105 + 7;
    for (int i = 0; i < bit; ++i) {
        at += ((first.data[0] >> i) & 1) ? 14 : 7;
    }
    // Stretch that 0 cycle from 7 to 11 frames: just long enough to read as an unclear 1.
    Recording r = clean(22050);
    const float high = 29490.0f / 32768.0f;
    r.samples.insert(r.samples.begin() + static_cast<long>(at + 7), 4, high);
    const std::vector<DecodedLoad> got = decode(r);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].verdict, Verdict::repaired);
    EXPECT_EQ(got[0].characters, expectedOf(first).characters);
    ASSERT_EQ(got[0].repairs.size(), 1u);
    EXPECT_EQ(got[0].repairs[0].character, 0u);
    EXPECT_EQ(got[0].repairs[0].bit, bit);
    EXPECT_NEAR(static_cast<double>(got[0].repairs[0].sample), static_cast<double>(at), 3.0);
    EXPECT_EQ(exactLoads(got, loads()), 3);
}

// Dips of level on a worn cassette (severity 3) that broke the framing of a character and
// left its neighbours unclear, or framed a cycle off and clean-looking between two that broke:
// their cycles leave the values unknown, and the signal over the whole run, weighed with the
// checksum, reads them. In the first, a stop bit read 0 and a slip in the next character.
TEST(DamagedRecording, DipsOnAWornCassetteAreReadOnTheSignal) {
    for (const unsigned seed : {8u, 9u, 31u}) {
        std::vector<TestLoad> three;
        for (unsigned i = 0; i < 3; ++i) {
            three.push_back(binaryLoadWithRightChecksum(256, seed * 10 + i));
        }
        const std::vector<DecodedLoad> got =
            decode(wornCassette(render(three, 44100, 16, 1), 3.0, seed));
        if (seed == 9u) {
            // The third load's slip is read right but not trusted: a clear-looking character
            // beside a slip is wrong one time in twenty, and with it another of the slip's
            // readings would fit the checksum (a chance of 1 in 78 that the one taken is wrong).
            ASSERT_EQ(got.size(), 3u);
            for (std::size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(got[i].characters, expectedOf(three[i]).characters) << i;
                EXPECT_EQ(got[i].verdict == Verdict::bad, i == 2) << i;
            }
        } else {
            EXPECT_EQ(exactLoads(got, three), 3) << seed;
        }
        bool neighbours = false;
        for (const DecodedLoad& load : got) {
            for (std::size_t r = 1; r < load.repairs.size(); ++r) {
                neighbours =
                    neighbours || (load.repairs[r].kind == Repair::Kind::slip &&
                                   load.repairs[r - 1].kind == Repair::Kind::slip &&
                                   load.repairs[r].character == load.repairs[r - 1].character + 1);
            }
        }
        EXPECT_TRUE(neighbours || seed != 8u);
    }
}

TEST(CleanRecording, LoadsFoundAmongOtherSoundsAndNothingElse) {
    // Noise, a 440 Hz tone, the tape, a 1000 Hz tone and a sliding whistle, the tape again.
    const Recording& tape = clean(22050);
    Recording r;
    r.rate = 22050;
    std::mt19937 random(21);
    std::normal_distribution<float> normal(0.0f, 0.2f);
    auto tone = [&](double hz, double seconds) {
        for (int i = 0; i < static_cast<int>(seconds * 22050); ++i) {
            r.samples.push_back(
                static_cast<float>(0.6 * std::sin(2 * std::numbers::pi * hz * i / 22050)));
        }
    };
    for (int i = 0; i < 6615; ++i) {
        r.samples.push_back(normal(random));
    }
    tone(440, 0.3);
    r.samples.insert(r.samples.end(), tape.samples.begin(), tape.samples.end());
    tone(1000, 0.3);
    double phase = 0;
    for (int i = 0; i < 6615; ++i) {
        phase += 2 * std::numbers::pi *
                 (1400 + 1100 * std::sin(2 * std::numbers::pi * 2.5 * i / 22050)) / 22050;
        r.samples.push_back(static_cast<float>(0.5 * std::sin(phase)));
    }
    r.samples.insert(r.samples.end(), tape.samples.begin(), tape.samples.end());
    std::vector<TestLoad> twice = loads();
    twice.insert(twice.end(), loads().begin(), loads().end());
    EXPECT_EQ(exactLoads(decode(r), twice), 6);
}
