// SPDX-License-Identifier: MIT
// The promises a user archives by: a REPAIRED load is right, a character whose framing
// slipped is never repaired, takes are matched by what they hold and when, the most likely
// BAD reading is kept, and every place stands where it happened.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "base/machine.h"
#include "decode/character_length.h"
#include "decode/error_odds.h"
#include "decode/load_judge.h"
#include "decode/load_merger.h"
#include "decode/run_weigher.h"
#include "decode/signal_history.h"
#include "decode/take_merger.h"
#include "tests/decode/degradations.h"
#include "tests/decode/tape_maker.h"

using namespace kelvanto::decode;
using namespace decode_testing;

namespace {

constexpr double rate = 22050.0;
constexpr double firstCharacter = 50000.0;  // a load well after the start of the recording

// Random data with its checksum (0xA5 + every character = 0xFF modulo 256).
std::vector<std::uint8_t> loadData(std::size_t length, std::mt19937& random) {
    std::vector<std::uint8_t> data(length);
    unsigned sum = 0xA5;
    for (std::uint8_t& byte : data) {
        byte = static_cast<std::uint8_t>(random() & 0xFFu);
        sum += byte;
    }
    data.push_back(static_cast<std::uint8_t>(0xFFu - (sum & 0xFFu)));
    return data;
}

std::uint8_t toByte(double certainty) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(certainty, 0.0, 1.0) * 255.0));
}

// A complete reading of the characters with the soft values of a recording with this much
// noise: a right decision lands around its nominal length (certainty 1, more is cut off),
// and now and then a click throws a cycle anywhere without making it wrong.
// With centre below 1, every decision came out that much less certain (a low-pass or a codec
// moved all edges alike); the cycles' places are those of the characters' real lengths.
LoadCandidate softReading(const std::vector<std::uint8_t>& characters, double noise,
                          std::mt19937& random, double clicks = 0.0005, double centre = 1.0) {
    std::normal_distribution<double> spread(0.0, noise);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    LoadCandidate candidate;
    candidate.headerStart = firstCharacter - 6000.0;
    candidate.headerCycles = 300;
    candidate.onePeriod = 14.0 / 22050.0;
    candidate.amplitude = 0.5;
    candidate.framed.syncStart = firstCharacter - 120.0;
    candidate.framed.complete = true;
    double at = firstCharacter;
    for (std::size_t i = 0; i < characters.size(); ++i) {
        FramedCharacter c;
        c.start = at;
        c.value = characters[i];
        int offset = 0;
        for (std::size_t b = 0; b < 10; ++b) {
            c.offsets[b] = static_cast<std::uint16_t>(offset);
            const int bit = b == 0 ? 0 : b == 9 ? 1 : (characters[i] >> (b - 1)) & 1;
            offset += machine::bitFrames(bit);
            const bool click = uniform(random) < clicks;
            c.certainty[b] = toByte(click ? uniform(random) : centre + spread(random));
        }
        c.length = static_cast<float>(offset);
        at += offset;
        candidate.framed.characters.push_back(c);
    }
    if (characters.size() % 2 != 0) {
        // The usual filler, as clear as the rest, ends the last pair.
        candidate.framed.hasFiller = true;
        candidate.framed.fillerStart = at;
        candidate.framed.fillerCertainty.fill(toByte(centre));
        at += 10 * machine::bitFrames(1);
    }
    candidate.framed.footerStart = at;
    candidate.framed.footerEnd = candidate.framed.footerStart + 3000.0;
    candidate.framed.end = candidate.framed.footerEnd;
    return candidate;
}

// Makes count data-bit decisions wrong at random places. Most wrong decisions land close to
// the threshold and some fairly far from it (certainty spread exponentially, a mean of
// 0.12: one in twelve above 0.3, one in seventy above 0.5); none reads as a clean cycle of
// the wrong length (that takes a cycle cut in two or two merged, which the framing shows).
void misreadBits(LoadCandidate& candidate, int count, std::mt19937& random) {
    auto& characters = candidate.framed.characters;
    std::uniform_int_distribution<std::size_t> place(0, characters.size() - 1);
    std::uniform_int_distribution<int> bit(0, 7);
    std::exponential_distribution<double> far(1.0 / 0.12);
    std::vector<std::pair<std::size_t, int>> used;
    while (static_cast<int>(used.size()) < count) {
        const std::pair<std::size_t, int> at{place(random), bit(random)};
        if (std::find(used.begin(), used.end(), at) != used.end()) {
            continue;
        }
        used.push_back(at);
        FramedCharacter& c = characters[at.first];
        c.value = static_cast<std::uint8_t>(c.value ^ (1u << at.second));
        const double certainty = std::min(0.95, far(random));
        c.certainty[static_cast<std::size_t>(at.second) + 1] = toByte(certainty);
    }
}

// The loads a merger keeps from two readings, judged and offered in one order or the other.
std::vector<DecodedLoad> mergedOf(const LoadJudge& judge, const LoadCandidate& a,
                                  const LoadCandidate& b, bool aFirst) {
    LoadMerger merger;
    merger.offer(judge.judge(aFirst ? a : b));
    merger.offer(judge.judge(aFirst ? b : a));
    return merger.finish(400000, rate);
}

}  // namespace

TEST(Trust, RepairedIsNeverWrongAndSingleUnclearErrorsAreStillRepaired) {
    std::mt19937 random(20261208);
    const LoadJudge judge(rate);
    std::uniform_int_distribution<std::size_t> length(20, 400);
    std::uniform_real_distribution<double> noise(0.03, 0.3);
    int wrongRepairs = 0;
    int repaired = 0;
    int singleUnclear = 0;
    int singleUnclearRepaired = 0;
    int likeliest = 0;
    int likeliestRight = 0;
    const int trials = 20000;
    for (int trial = 0; trial < trials; ++trial) {
        const std::vector<std::uint8_t> data = loadData(length(random), random);
        const double spread = noise(random);
        LoadCandidate candidate = softReading(data, spread, random);
        const int wrong = 1 + trial % 6;
        misreadBits(candidate, wrong, random);
        const DecodedLoad load = judge.judge(candidate);
        if (load.verdict == Verdict::repaired) {
            ++repaired;
            wrongRepairs += load.characters != data ? 1 : 0;
            EXPECT_LT(load.wrongChance, repairTrusted);
            EXPECT_LE(load.repairs.size(), LoadJudge::maximumChanges);
        }
        // Not trusted but likelier right than wrong: BAD, written with that change (as read,
        // the load fails the checksum and is wrong for sure).
        if (load.verdict == Verdict::bad &&
            load.problem.rfind("checksum right only with", 0) == 0) {
            ++likeliest;
            likeliestRight += load.characters == data ? 1 : 0;
            EXPECT_NE(load.problem.find("(it would be wrong with a chance of"), std::string::npos);
            EXPECT_TRUE(load.repairs.empty());
        }
        if (wrong == 1 && spread < 0.15) {
            // The one wrong decision, if it was unclear (below a quarter).
            bool unclear = false;
            for (std::size_t i = 0; i < data.size(); ++i) {
                const FramedCharacter& c = candidate.framed.characters[i];
                for (int b = 0; b < 8; ++b) {
                    if (((c.value ^ data[i]) >> b) & 1u) {
                        unclear = c.certainty[static_cast<std::size_t>(b) + 1] < 64;
                    }
                }
            }
            if (unclear) {
                ++singleUnclear;
                singleUnclearRepaired += load.verdict == Verdict::repaired ? 1 : 0;
            }
        }
    }
    EXPECT_EQ(wrongRepairs, 0) << "of " << repaired << " repaired loads";
    ASSERT_GT(singleUnclear, 500);
    EXPECT_GT(singleUnclearRepaired * 2, singleUnclear)
        << singleUnclearRepaired << " of " << singleUnclear;
    // Each such change is wrong with a chance below one half: most are right.
    ASSERT_GT(likeliest, 1000);
    EXPECT_GT(likeliestRight * 3, likeliest * 2) << likeliestRight << " of " << likeliest;
}

TEST(Trust, OkIsRarelyWrongEvenWhenErrorsCancelInTheChecksum) {
    // Two wrong decisions cancel in the 8-bit sum when they have the same weight and go
    // opposite ways (a 1 read 0 in one place, a 0 read 1 in another): one pair in sixteen.
    // Then the checksum is right and only the certainty of the decisions can tell. Loads
    // with two or four wrong decisions, over recordings from clean to very noisy: far more
    // hidden errors than a recording holds, some of them looking no less clear than the
    // load's right decisions (which no judge can tell). Of the loads whose errors cancel, at
    // most one in a hundred may be reported OK; with the bar for OK at 1 in 100, five of 247
    // were (four with estimates between 1 in 1000 and 1 in 100).
    std::mt19937 random(777);
    const LoadJudge judge(rate);
    std::uniform_int_distribution<std::size_t> length(20, 2000);
    std::uniform_real_distribution<double> noise(0.03, 0.3);
    int cancelled = 0;
    int wrongOk = 0;
    for (int trial = 0; trial < 6000; ++trial) {
        const std::vector<std::uint8_t> data = loadData(length(random), random);
        LoadCandidate candidate = softReading(data, noise(random), random);
        misreadBits(candidate, 2 + 2 * (trial % 2), random);
        std::vector<std::uint8_t> read;
        for (const FramedCharacter& c : candidate.framed.characters) {
            read.push_back(c.value);
        }
        cancelled += machine::loadSumRight(read) ? 1 : 0;
        const DecodedLoad load = judge.judge(candidate);
        wrongOk += load.verdict == Verdict::ok ? 1 : 0;
        if (load.verdict == Verdict::repaired) {
            EXPECT_EQ(load.characters, data);
        }
    }
    ASSERT_GT(cancelled, 200);
    EXPECT_LE(wrongOk * 100, cancelled)
        << wrongOk << " loads OK with wrong data, of " << cancelled << " whose errors cancel";
}

TEST(Trust, TakesWeighedTogetherAreNeverTrustedWithWrongData) {
    std::mt19937 random(99);
    const LoadJudge judge(rate);
    std::uniform_int_distribution<std::size_t> length(20, 300);
    std::uniform_real_distribution<double> noise(0.03, 0.25);
    int wrongTrusted = 0;
    int trusted = 0;
    int mended = 0;  // right and trusted although no take was OK alone
    for (int trial = 0; trial < 3000; ++trial) {
        const std::vector<std::uint8_t> data = loadData(length(random), random);
        std::vector<std::vector<DecodedLoad>> takes;
        bool anyOk = false;
        for (int t = 0; t < 2 + trial % 2; ++t) {
            LoadCandidate candidate = softReading(data, noise(random), random);
            misreadBits(candidate, 1 + static_cast<int>(random() % 4), random);
            if (random() % 5 == 0) {
                FramedCharacter& c = candidate.framed.characters[random() % data.size()];
                c.extraCycleDropped = true;
                c.value = static_cast<std::uint8_t>(random());
            }
            takes.push_back({judge.judge(candidate)});
            anyOk = anyOk || takes.back().front().verdict == Verdict::ok;
        }
        const std::vector<DecodedLoad> merged = mergeTakes(takes);
        ASSERT_EQ(merged.size(), 1u);
        if (merged[0].verdict != Verdict::bad) {
            ++trusted;
            wrongTrusted += merged[0].characters != data ? 1 : 0;
            mended += !anyOk && merged[0].characters == data ? 1 : 0;
        }
    }
    EXPECT_EQ(wrongTrusted, 0) << "of " << trusted;
    EXPECT_GT(mended, 300);
}

// Where a take's framing slipped twice a few characters apart, the characters between were
// read a cycle off: clean-looking and wrong. Beside another take that read them right they
// are no evidence, as the slipped characters themselves are not.
TEST(Trust, CharactersBetweenTwoNearSlipsGiveWayToAnotherTake) {
    std::mt19937 random(5);
    const LoadJudge judge(rate);
    const std::vector<std::uint8_t> data = loadData(120, random);
    LoadCandidate shifted = softReading(data, 0.05, random);
    LoadCandidate other = softReading(data, 0.05, random);
    auto slip = [](LoadCandidate& reading, std::size_t at) {
        FramedCharacter& c = reading.framed.characters[at];
        c.extraCycleDropped = true;
        c.value = static_cast<std::uint8_t>(~c.value);
    };
    slip(shifted, 40);
    slip(shifted, 46);
    for (std::size_t i = 41; i < 46; ++i) {
        FramedCharacter& c = shifted.framed.characters[i];
        c.value = static_cast<std::uint8_t>((c.value << 1) | (c.value >> 7));
    }
    slip(other, 80);
    slip(other, 100);
    const std::vector<DecodedLoad> a = {judge.judge(shifted)};
    const std::vector<DecodedLoad> b = {judge.judge(other)};
    ASSERT_EQ(a[0].verdict, Verdict::bad);
    ASSERT_EQ(b[0].verdict, Verdict::bad);
    for (const auto& merged : {mergeTakes({a, b}), mergeTakes({b, a})}) {
        ASSERT_EQ(merged.size(), 1u);
        EXPECT_NE(merged[0].verdict, Verdict::bad) << merged[0].problem;
        EXPECT_EQ(merged[0].characters, data);
    }
}

// Takes with two slips a few characters apart, the characters between them read a cycle off
// (clean-looking, wrong) or right: whichever take's reading the merge takes there, a load it
// trusts is right.
TEST(Trust, TakesWithStretchesReadOffAreNeverTrustedWrong) {
    std::mt19937 random(123);
    const LoadJudge judge(rate);
    std::uniform_int_distribution<std::size_t> length(40, 300);
    std::uniform_int_distribution<std::size_t> apart(2, 14);
    int wrongTrusted = 0;
    int trusted = 0;
    for (int trial = 0; trial < 2000; ++trial) {
        const std::vector<std::uint8_t> data = loadData(length(random), random);
        std::vector<std::vector<DecodedLoad>> takes;
        for (int t = 0; t < 2 + trial % 2; ++t) {
            LoadCandidate candidate = softReading(data, 0.08, random);
            misreadBits(candidate, static_cast<int>(random() % 3), random);
            auto& characters = candidate.framed.characters;
            const std::size_t first = random() % (characters.size() - 16);
            const std::size_t second = first + apart(random);
            const bool off = random() % 2 == 0;
            for (std::size_t i = first; i <= second; ++i) {
                FramedCharacter& c = characters[i];
                if (i == first || i == second) {
                    c.extraCycleDropped = true;
                    c.value = static_cast<std::uint8_t>(random());
                } else if (off) {
                    c.value = static_cast<std::uint8_t>((c.value << 1) | (c.value >> 7));
                }
            }
            takes.push_back({judge.judge(candidate)});
        }
        const std::vector<DecodedLoad> merged = mergeTakes(takes);
        ASSERT_EQ(merged.size(), 1u);
        if (merged[0].verdict != Verdict::bad) {
            ++trusted;
            wrongTrusted += merged[0].characters != data ? 1 : 0;
        }
    }
    EXPECT_EQ(wrongTrusted, 0) << "of " << trusted;
    EXPECT_GT(trusted, 500);
}

TEST(Trust, CleanReadingsAreTrustedHoweverLongAndHoweverShifted) {
    // Right readings with a right checksum: long loads without one unclear decision, and
    // loads whose certainties all moved down together (every edge rounded by a low-pass)
    // with a small spread around that. None of them is noise; each must be OK.
    struct Case {
        std::size_t length;
        double centre;
        double noise;
    };
    const Case cases[] = {{8193, 1.0, 0.05},
                          {8193, 0.85, 0.03},
                          {8193, 0.6, 0.04},
                          {2000, 0.6, 0.04},
                          {257, 0.55, 0.03}};
    std::mt19937 random(31);
    const LoadJudge judge(rate);
    for (const Case& c : cases) {
        for (int trial = 0; trial < 3; ++trial) {
            const std::vector<std::uint8_t> data = loadData(c.length, random);
            const DecodedLoad load = judge.judge(softReading(data, c.noise, random, 0.0, c.centre));
            EXPECT_EQ(load.verdict, Verdict::ok)
                << c.length << " characters around " << c.centre << ": " << load.problem;
        }
    }
}

// A load of an odd count ends with a filler that the sum leaves out, yet the tape image keeps
// it (half of it in the byte that holds the checksum): only its own cycles vouch for it, alone
// or weighed over several takes.
TEST(Trust, TheFillerTheSumLeavesOutIsTrustedOnlyWhereItsCyclesAreClear) {
    std::mt19937 random(41);
    const LoadJudge judge(rate);
    const std::vector<std::uint8_t> data = loadData(100, random);  // 101 characters
    const LoadCandidate clear = softReading(data, 0.05, random, 0.0);
    EXPECT_EQ(judge.judge(clear).verdict, Verdict::ok);
    const std::string doubt =
        "the characters fit the checksum, but the filler after them, which the sum leaves out "
        "and the tape image keeps, ";

    LoadCandidate unclear = clear;
    unclear.framed.filler = 0xF7;
    unclear.framed.fillerCertainty[3] = 10;
    const DecodedLoad alone = judge.judge(unclear);
    EXPECT_EQ(alone.verdict, Verdict::bad);
    const std::string unsure = doubt + "is unclear: it is wrong with a chance of 1 in ";
    EXPECT_EQ(alone.problem.substr(0, unsure.size()), unsure);
    EXPECT_EQ(alone.problemSample, std::llround(unclear.framed.fillerStart));
    // A repair elsewhere does not make up for it.
    LoadCandidate repairable = unclear;
    repairable.framed.characters[30].value ^= 0x10;
    repairable.framed.characters[30].certainty[5] = 5;
    EXPECT_EQ(judge.judge(repairable).verdict, Verdict::bad);
    repairable.framed.fillerCertainty[3] = 255;
    EXPECT_EQ(judge.judge(repairable).verdict, Verdict::repaired);

    LoadCandidate unread = clear;
    unread.framed.hasFiller = false;
    EXPECT_EQ(judge.judge(unread).problem, doubt + "was not read");

    // Two takes, each unsure of another bit of it and sure of the rest: weighed together, the
    // filler is right and the load trusted, with the filler the takes agree on.
    LoadCandidate first = softReading(data, 0.2, random, 0.0);
    first.framed.fillerCertainty[3] = 10;  // read right, but unsure
    LoadCandidate second = softReading(data, 0.2, random, 0.0);
    second.framed.filler = 0xBF;
    second.framed.fillerCertainty[6] = 10;
    const DecodedLoad firstAlone = judge.judge(first);
    const DecodedLoad secondAlone = judge.judge(second);
    EXPECT_EQ(firstAlone.verdict, Verdict::bad);
    EXPECT_EQ(secondAlone.verdict, Verdict::bad);
    const std::vector<DecodedLoad> merged = mergeTakes({{firstAlone}, {secondAlone}});
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(merged[0].verdict, Verdict::ok) << merged[0].problem << " " << merged[0].wrongChance;
    EXPECT_TRUE(merged[0].hasFiller);
    EXPECT_EQ(merged[0].filler, 0xFF);
}

TEST(Trust, ShiftedReadingsWithWrongDecisionsAreNeverTrustedWrong) {
    // The seeded wrong decisions of the other trust tests, in readings whose certainties all
    // moved down together: a shifted centre must not hide them.
    std::mt19937 random(4242);
    const LoadJudge judge(rate);
    std::uniform_int_distribution<std::size_t> length(20, 2000);
    std::uniform_real_distribution<double> centre(0.5, 0.9);
    std::uniform_real_distribution<double> noise(0.02, 0.15);
    int cancelled = 0;
    int wrongOk = 0;
    int wrongRepairs = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        const std::vector<std::uint8_t> data = loadData(length(random), random);
        LoadCandidate candidate = softReading(data, noise(random), random, 0.0005, centre(random));
        misreadBits(candidate, 1 + trial % 4, random);
        std::vector<std::uint8_t> read;
        for (const FramedCharacter& c : candidate.framed.characters) {
            read.push_back(c.value);
        }
        const bool sumRight = machine::loadSumRight(read);
        cancelled += sumRight ? 1 : 0;
        const DecodedLoad load = judge.judge(candidate);
        wrongOk += load.verdict == Verdict::ok ? 1 : 0;
        wrongRepairs += load.verdict == Verdict::repaired && load.characters != data ? 1 : 0;
    }
    ASSERT_GT(cancelled, 50);
    EXPECT_EQ(wrongRepairs, 0);
    EXPECT_LE(wrongOk * 100, cancelled)
        << wrongOk << " loads OK with wrong data, of " << cancelled << " whose errors cancel";
}

TEST(Trust, AnEdgeMovedBetweenStopAndStartKeepsTheFraming) {
    // Noise moved the edge between a stop cycle and the next start cycle: the stop reads 0,
    // the start 1, and the two together still last a stop and a start. The data bits of
    // both characters are as clear as ever and a right checksum is trusted. When the two
    // last a unit more or less than that, the framing itself is in question and the right
    // checksum is not enough.
    struct Case {
        double stopFrames;   // the stop cycle's new length (a stop lasts 14)
        double startFrames;  // the next start cycle's new length (a start lasts 7)
        Verdict verdict;
    };
    const Case cases[] = {
        {10, 11, Verdict::ok}, {8, 13, Verdict::ok}, {10, 25, Verdict::bad}, {3, 4, Verdict::bad}};
    std::mt19937 random(12);
    const LoadJudge judge(rate);
    for (const Case& c : cases) {
        for (int trial = 0; trial < 5; ++trial) {
            const std::vector<std::uint8_t> data = loadData(300, random);
            LoadCandidate candidate = softReading(data, 0.03, random, 0.0);
            auto& characters = candidate.framed.characters;
            // Pairs whose stop and start read wrong at once, so that even one pair in error
            // would cancel in the sum now and then.
            for (std::size_t i = 40; i < 280; i += 60) {
                FramedCharacter& first = characters[i];
                FramedCharacter& second = characters[i + 1];
                first.stopBad = true;
                first.certainty[9] = 60;
                second.startMisread = true;
                second.certainty[0] = 0;
                const double stopStart = first.start + first.offsets[9];
                second.start = stopStart + c.stopFrames;
                const int shift = static_cast<int>(c.startFrames) - machine::zeroBitFrames;
                for (std::size_t b = 1; b < 10; ++b) {
                    second.offsets[b] = static_cast<std::uint16_t>(second.offsets[b] + shift);
                }
            }
            const DecodedLoad load = judge.judge(candidate);
            EXPECT_EQ(load.verdict, c.verdict)
                << c.stopFrames << " + " << c.startFrames << ": " << load.problem;
            EXPECT_EQ(load.characters, data);
        }
    }
}

// Character at of the reading slipped: its framing was put right and reads chosen, and
// others are the values the other ways of putting it right gave (with what the signal says
// of each against the chosen one, when it said anything).
void slipAt(LoadCandidate& candidate, std::size_t at, std::uint8_t chosen,
            std::vector<std::uint8_t> others, double othersLogOdds = 0.0) {
    FramedCharacter& c = candidate.framed.characters[at];
    c.extraCycleDropped = true;
    c.value = chosen;
    c.certainty[3] = 0;
    SlipReading slip;
    slip.character = at;
    slip.otherLogOdds.assign(others.size(), othersLogOdds);
    slip.others = std::move(others);
    candidate.framed.slips.push_back(slip);
}

// A recording cut inside a character and joined to another recording (an edit, a dub
// started late) leaves a character that lasts as long as no value of it: the checksum
// matches a reading of it by chance, once in 256 readings. A cycle cut in two or two merged
// keep a character's ends, so a slip's reading must last as long as its character did.
TEST(Trust, ASlipsReadingThatDoesNotLastAsLongAsItsCharacterIsNotTaken) {
    std::mt19937 random(4242);
    const LoadJudge judge(rate);
    std::vector<std::uint8_t> data = loadData(200, random);
    data[50] = 0x5A;
    data.back() = 0;
    data.back() = machine::checkSumCompleting(machine::loadSum(data));
    const LoadCandidate clean = softReading(data, 0.05, random, 0.0);

    LoadCandidate slipped = clean;
    slipAt(slipped, 50, 0x5E, {0x5A, 0x7E});
    const DecodedLoad slipRight = judge.judge(slipped);
    EXPECT_EQ(slipRight.verdict, Verdict::repaired);
    EXPECT_EQ(slipRight.characters, data);
    // Edges read a little off (0.15 half unit) still fit; 0.25 half unit longer than 0x5A,
    // in a load whose other characters all fit exactly, the checksum's reading cannot be it.
    slipped.framed.characters[50].length += 0.15f * machine::zeroBitFrames;
    EXPECT_EQ(judge.judge(slipped).verdict, Verdict::repaired);
    slipped.framed.characters[50].length += 0.1f * machine::zeroBitFrames;
    const DecodedLoad spliced = judge.judge(slipped);
    EXPECT_EQ(spliced.verdict, Verdict::bad);
    EXPECT_EQ(spliced.problem,
              "checksum wrong, and the framing slipped in character 50 (a cycle cut in two or "
              "two merged), so its value is unknown (the reading that fits the checksum does "
              "not last as long as the character did)");
    // Where damage moves every character's edges about, lengths say nothing of a join.
    for (std::size_t i = 0; i < slipped.framed.characters.size(); i += 2) {
        slipped.framed.characters[i].length += 0.1f * machine::zeroBitFrames;
    }
    EXPECT_EQ(judge.judge(slipped).verdict, Verdict::repaired);
}

TEST(Trust, WhatTheSignalSaysOfASlipsReadingsWeighsWithTheChecksum) {
    std::mt19937 random(77);
    const LoadJudge judge(rate);
    std::uniform_int_distribution<int> anyByte(0, 255);
    int plain = 0;
    int weighed = 0;
    int against = 0;
    for (int trial = 0; trial < 200; ++trial) {
        const std::vector<std::uint8_t> data = loadData(300, random);
        const LoadCandidate reading = softReading(data, 0.14, random);
        const std::size_t at = static_cast<std::size_t>(trial) % data.size();
        std::vector<std::uint8_t> others;
        for (int k = 0; k < 8; ++k) {
            others.push_back(static_cast<std::uint8_t>(anyByte(random)));
        }
        std::erase(others, data[at]);
        // The reading chosen is right; the signal rules the others out, says nothing, or
        // finds them far likelier.
        auto trusted = [&](double logOdds) {
            LoadCandidate candidate = reading;
            slipAt(candidate, at, data[at], others, logOdds);
            const DecodedLoad load = judge.judge(candidate);
            EXPECT_EQ(load.characters, data);
            return load.verdict != Verdict::bad ? 1 : 0;
        };
        weighed += trusted(-12.0);
        plain += trusted(0.0);
        against += trusted(12.0);
    }
    EXPECT_GT(weighed, plain + 20) << weighed << " against " << plain;
    EXPECT_LE(against * 4, plain) << against << " against " << plain;
}

// Two slips in one load, the second read wrong. Their readings are weighed together: the
// pair that fits the checksum is taken when the signal rules the other readings out. When it
// says nothing, a value that none of the ways tried gives, paired with another reading of the
// first slip, fits as well, and the load is not trusted; nor when the right value of the
// second slip is not among its readings at all and two other readings happen to fit.
TEST(Trust, TwoSlipsAreWeighedTogetherWithTheChecksum) {
    std::mt19937 random(4242);
    const LoadJudge judge(rate);
    std::uniform_int_distribution<int> anyByte(0, 255);
    int repaired = 0;
    int trials = 0;
    for (int trial = 0; trial < 100; ++trial) {
        const std::vector<std::uint8_t> data = loadData(200, random);
        const LoadCandidate reading = softReading(data, 0.05, random);
        const std::size_t a = 10 + static_cast<std::size_t>(trial) % 80;
        const std::size_t b = a + 1 + static_cast<std::size_t>(trial) % 90;
        auto decoys = [&](std::uint8_t truth) {
            std::vector<std::uint8_t> out;
            for (int k = 0; k < 3; ++k) {
                out.push_back(static_cast<std::uint8_t>(anyByte(random)));
            }
            std::erase(out, truth);
            return out;
        };
        const std::vector<std::uint8_t> othersOfA = decoys(data[a]);
        std::vector<std::uint8_t> othersOfB = decoys(data[b]);
        const std::uint8_t misread = static_cast<std::uint8_t>(data[b] ^ 0x24);
        std::erase(othersOfB, misread);
        if (othersOfA.empty() || othersOfB.empty()) {
            continue;
        }
        ++trials;
        // The signal rules out the decoys of both slips and finds the right reading of the
        // second likelier than the one chosen. (Were the two alike, a value no way tried gives
        // for the first, with the second read as chosen, would fit as well: not trusted.)
        LoadCandidate ruled = reading;
        slipAt(ruled, a, data[a], othersOfA, -12.0);
        std::vector<std::uint8_t> withTruth = othersOfB;
        withTruth.push_back(data[b]);
        slipAt(ruled, b, misread, withTruth, -12.0);
        ruled.framed.slips.back().otherLogOdds.back() = 3.0;
        const DecodedLoad load = judge.judge(ruled);
        if (load.verdict == Verdict::repaired) {
            ++repaired;
            EXPECT_EQ(load.characters, data);
            EXPECT_LT(load.wrongChance, repairTrusted);
            ASSERT_EQ(load.repairs.size(), 2u);
            EXPECT_EQ(load.repairs[1].character, b);
            EXPECT_EQ(load.repairs[1].before, misread);
            EXPECT_EQ(load.repairs[1].after, data[b]);
        } else {
            EXPECT_EQ(load.verdict, Verdict::bad);
        }

        // The same, the signal saying nothing of the first slip's readings.
        LoadCandidate silent = ruled;
        silent.framed.slips.front().otherLogOdds.assign(othersOfA.size(), 0.0);
        EXPECT_EQ(judge.judge(silent).verdict, Verdict::bad);

        // The right value of the second slip among none of its readings, and one of them
        // made to fit the checksum with the first slip's first decoy, as likely as the two
        // readings chosen.
        LoadCandidate untried = reading;
        const std::uint8_t fitting =
            static_cast<std::uint8_t>(data[b] + data[a] - othersOfA.front());
        std::vector<std::uint8_t> decoysOfB = othersOfB;
        decoysOfB.push_back(fitting);
        std::erase(decoysOfB, data[b]);
        slipAt(untried, a, data[a], othersOfA, 0.0);
        slipAt(untried, b, misread, decoysOfB, 0.0);
        const DecodedLoad fooled = judge.judge(untried);
        EXPECT_EQ(fooled.verdict, Verdict::bad) << trial;
    }
    ASSERT_GT(trials, 80);
    EXPECT_GT(repaired * 4, trials * 3) << repaired << " of " << trials;
}

TEST(Trust, ASlipPutRightIsTrustedOnlyWhenTheChecksumSettlesIt) {
    std::mt19937 random(5150);
    const LoadJudge judge(rate);
    std::uniform_int_distribution<int> anyByte(0, 255);
    std::uniform_real_distribution<double> noise(0.03, 0.25);
    int rightResolved = 0;
    int rightClean = 0;
    int wrongTrusted = 0;
    int misreadResolved = 0;
    int misreadClean = 0;
    int fittingWritten = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        const std::vector<std::uint8_t> data = loadData(30 + trial % 500, random);
        const double spread = noise(random);
        LoadCandidate candidate = softReading(data, spread, random);
        const std::size_t at = static_cast<std::size_t>(trial * 7) % data.size();
        // Up to a dozen other readings, the right one among them when the choice was wrong.
        std::vector<std::uint8_t> others;
        for (int k = 0; k < 1 + trial % 12; ++k) {
            others.push_back(static_cast<std::uint8_t>(anyByte(random)));
        }
        std::erase(others, data[at]);
        const bool chosenRight = trial % 3 != 0;
        std::uint8_t chosen = data[at];
        if (!chosenRight) {
            if (others.empty()) {
                others.push_back(static_cast<std::uint8_t>(data[at] ^ 0x40));
            }
            chosen = others.back();
            others.back() = data[at];
            std::erase(others, chosen);
        }
        slipAt(candidate, at, chosen, others);
        const int wrong = trial % 5 == 0 ? 0 : trial % 4;
        misreadBits(candidate, wrong, random);
        const DecodedLoad load = judge.judge(candidate);
        if (load.verdict != Verdict::bad && load.characters != data) {
            ++wrongTrusted;
        }
        if (load.verdict == Verdict::bad && load.characters[at] != chosen) {
            // A reading other than the one framed is written only where it is likelier right
            // than wrong (a chance of one half or more is given in per cent).
            EXPECT_EQ(load.problem.find(" %)"), std::string::npos) << load.problem;
        }
        if (load.verdict == Verdict::bad && wrong == 0) {
            // Not settled: the character stays as first read, or, where the reading that fits
            // the checksum is likelier right than wrong, it is written (the only one that
            // fits, with nothing else misread: the right one), and the problem says so.
            if (load.characters[at] == chosen) {
                EXPECT_EQ(load.problem.rfind("checksum right", 0) == 0, chosenRight)
                    << load.problem;
            } else {
                ++fittingWritten;
                EXPECT_EQ(load.characters, data);
                EXPECT_EQ(load.problem.rfind("checksum right, but the framing slipped", 0), 0u)
                    << load.problem;
                EXPECT_NE(load.problem.find("would be wrong with a chance of"), std::string::npos);
            }
        }
        if (!chosenRight && wrong == 0 && spread < 0.1) {
            // The checksum is wrong by just the difference to one of the other readings:
            // that one is taken, and the repair says what was read first.
            ++misreadClean;
            if (load.verdict == Verdict::repaired) {
                ++misreadResolved;
                ASSERT_EQ(load.repairs.size(), 1u);
                EXPECT_EQ(load.repairs[0].kind, Repair::Kind::slip);
                EXPECT_EQ(load.repairs[0].before, chosen);
                EXPECT_EQ(load.repairs[0].after, data[at]);
            }
        }
        if (chosenRight && wrong == 0 && spread < 0.1 && others.size() <= 2) {
            // With more readings than that, a clear-looking character beside the slip read
            // wrong (one in twenty are) would make another of them fit too often to trust.
            ++rightClean;
            if (load.verdict == Verdict::repaired) {
                ++rightResolved;
                EXPECT_LT(load.wrongChance, repairTrusted);
                ASSERT_EQ(load.repairs.size(), 1u);
                EXPECT_EQ(load.repairs[0].kind, Repair::Kind::slip);
                EXPECT_EQ(load.repairs[0].character, at);
                // Settled, the character is no longer listed as unknown.
                for (const auto& doubt : load.doubts) {
                    EXPECT_FALSE(doubt.character == at &&
                                 doubt.kind == CharacterDoubt::Kind::slipped);
                }
            }
        }
    }
    EXPECT_EQ(wrongTrusted, 0);
    // A clean reading whose one slip was put right and whose checksum is right is trusted.
    ASSERT_GT(rightClean, 10);
    EXPECT_GT(rightResolved * 4, rightClean * 3) << rightResolved << " of " << rightClean;
    ASSERT_GT(misreadClean, 25);
    EXPECT_GT(misreadResolved * 2, misreadClean) << misreadResolved << " of " << misreadClean;
    EXPECT_GT(fittingWritten, 10);
}

// Seen on a worn cassette: the slip took a cycle from the character before it, whose stop bit
// read 0, and left both wrong by amounts that cancel in the checksum.
TEST(Trust, ASlipBesideABrokenFramingIsNotSettledByTheChecksum) {
    std::mt19937 random(228);
    const LoadJudge judge(rate);
    const std::vector<std::uint8_t> data = loadData(257, random);
    for (const int beside : {-1, 1, -2}) {
        LoadCandidate candidate = softReading(data, 0.05, random);
        const std::size_t at = 228;
        const std::size_t other = at + static_cast<std::size_t>(beside);
        FramedCharacter& broken = candidate.framed.characters[other];
        (beside < 0 ? broken.stopBad : broken.startMisread) = true;
        broken.value = static_cast<std::uint8_t>(data[other] + 1);
        slipAt(candidate, at, static_cast<std::uint8_t>(data[at] - 1), {});
        const DecodedLoad load = judge.judge(candidate);
        if (beside == -2) {
            // Two characters away the broken framing has nothing to do with the slip.
            EXPECT_NE(load.verdict, Verdict::bad) << load.problem;
            continue;
        }
        EXPECT_EQ(load.verdict, Verdict::bad);
        EXPECT_EQ(load.problem,
                  "checksum right, but the framing slipped in character 228 (a cycle cut in two "
                  "or two merged), so its value is unknown (the framing of character " +
                      std::to_string(other) + " beside it broke too)");
        EXPECT_TRUE(load.repairs.empty());
    }
}

// The signal of a whole load as the converter sends it (every cycle low, then high, of
// the given level) with hiss of the given spread per frame, kept around the characters
// first to last as the reader keeps a broken run.
void keepSignal(LoadCandidate& candidate, const std::vector<std::uint8_t>& data, std::size_t first,
                std::size_t last, double hiss, std::mt19937& random) {
    std::vector<std::pair<double, double>> edges;  // (frame, level from it on)
    double at = firstCharacter;
    for (const std::uint8_t value : data) {
        for (int b = 0; b < 10; ++b) {
            const int bit = b == 0 ? 0 : b == 9 ? 1 : (value >> (b - 1)) & 1;
            const double half = machine::bitFrames(bit) / 2.0;
            edges.emplace_back(at, -0.5);
            edges.emplace_back(at + half, 0.5);
            at += 2.0 * half;
        }
    }
    auto level = [&](double frame) {
        const auto next = std::upper_bound(edges.begin(), edges.end(), std::make_pair(frame, 1.0));
        return next == edges.begin() ? 0.0 : std::prev(next)->second;
    };
    const auto& characters = candidate.framed.characters;
    const auto from = static_cast<std::size_t>(characters[first - 1].start) - 100;
    const auto to = static_cast<std::size_t>(characters[last + 1].start) + 100;
    std::normal_distribution<double> noise(0.0, hiss);
    SignalHistory history;
    std::vector<float> samples(from, 0.0f);
    for (std::size_t k = from; k < to; ++k) {
        double sum = 0.0;  // sample k covers frames k - 0.5 to k + 0.5
        for (int part = 0; part < 8; ++part) {
            sum += level(static_cast<double>(k) - 0.5 + (part + 0.5) / 8.0);
        }
        samples.push_back(static_cast<float>(sum / 8.0 + noise(random)));
    }
    history.append(samples);
    candidate.stretches.push_back(SignalStretch{
        first, last,
        history.stretch(characters[first].start - 20, characters[last + 1].start + 20)});
    candidate.hissPerFrame = hiss * hiss;
}

// The weigher's own word on a run: the reading read, as long as the run lasted, is the
// likeliest by far; the same with the signal upside down when the reading says so; nothing
// where the signal over the run was not kept.
TEST(RunWeigher, TheRunAsSentIsTheLikeliestReading) {
    std::mt19937 random(31);
    const std::vector<std::uint8_t> data = loadData(30, random);
    const std::size_t first = 12;
    for (const bool inverted : {false, true}) {
        LoadCandidate candidate = softReading(data, 0.05, random, 0.0);
        keepSignal(candidate, data, first, first + 2, 0.3, random);
        if (inverted) {
            candidate.polarity = Polarity::inverted;
            SignalStretch& kept = candidate.stretches.back();
            const auto& c = candidate.framed.characters;
            std::vector<float> flipped;
            for (double f = c[first - 1].start - 99.5; f < c[first + 3].start + 99.5; f += 1.0) {
                flipped.push_back(static_cast<float>(-*kept.signal.area(f - 0.5, f + 0.5)));
            }
            SignalHistory history;
            history.append(std::vector<float>(static_cast<std::size_t>(c[first - 1].start) - 100));
            history.append(flipped);
            kept.signal = history.stretch(c[first].start - 20, c[first + 3].start + 20);
        }
        const std::optional<RunWeights> weights =
            RunWeigher::weigh(candidate, candidate.stretches[0]);
        ASSERT_TRUE(weights);
        EXPECT_EQ(weights->count, 3u);
        const double halves = characterHalves(data[first]) + characterHalves(data[first + 1]) +
                              characterHalves(data[first + 2]);
        EXPECT_NEAR(weights->measuredHalves, halves, 1e-6);
        EXPECT_EQ(weights->likeliestHalves[0], static_cast<int>(halves));
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_EQ(weights->likeliest[0][k], data[first + k]);
        }
        EXPECT_NEAR(weights->likeliestLog[0], 0.0, 1e-9);
        // Every other sum, all readings of it together, is far less likely.
        double others = 0.0;
        for (unsigned m = 1; m < 256; ++m) {
            others += std::exp(weights->logWeight[m]);
        }
        EXPECT_LT(others, 0.01 * std::exp(weights->logWeight[0]));
        // A stretch of the signal somewhere else holds nothing of this run.
        LoadCandidate elsewhere = candidate;
        elsewhere.stretches[0].signal = SignalHistory().stretch(0.0, 100.0);
        EXPECT_FALSE(RunWeigher::weigh(elsewhere, elsewhere.stretches[0]));
    }
}

// A 0 and a 1 swapped: the character lasts just as long, and its cycles cannot tell the two
// readings apart when the edge between them was the one in doubt; here the framer kept
// another reading, and the true value is among none. The signal between the edges tells.
TEST(Trust, TheSignalSettlesASlipThatItsCyclesCannotTellApart) {
    std::mt19937 random(77);
    const LoadJudge judge(rate);
    std::vector<std::uint8_t> data = loadData(60, random);
    const std::size_t at = 40;
    data[at] = 0x3E;
    data.back() = 0;
    data.back() = machine::checkSumCompleting(machine::loadSum(data));
    LoadCandidate candidate = softReading(data, 0.05, random, 0.0);
    slipAt(candidate, at, 0x3D, {0x0F});
    DecodedLoad load = judge.judge(candidate);
    ASSERT_EQ(load.verdict, Verdict::bad);  // no reading kept fits the checksum
    keepSignal(candidate, data, at, at, 0.3, random);
    load = judge.judge(candidate);
    ASSERT_EQ(load.verdict, Verdict::repaired) << load.problem;
    EXPECT_EQ(load.characters, data);
    ASSERT_EQ(load.repairs.size(), 1u);
    EXPECT_EQ(load.repairs[0].kind, Repair::Kind::slip);
    EXPECT_EQ(load.repairs[0].before, 0x3D);
    EXPECT_EQ(load.repairs[0].after, 0x3E);
    // The filler's doubt included, and that of the two characters beside the slip (each
    // wrong one time in twenty however clear, and then one value in 255 fits): 1 in 2500.
    EXPECT_LT(load.wrongChance, 5e-4);
    EXPECT_GT(load.wrongChance, 3e-4);
    // Without the hiss measured on the header tone, the signal is not weighed; nor where the
    // clear characters either side disagree on the speed (an edge of one moved, and the
    // run's end may have moved with it).
    LoadCandidate unmeasured = candidate;
    unmeasured.hissPerFrame = 0.0;
    EXPECT_EQ(judge.judge(unmeasured).verdict, Verdict::bad);
    LoadCandidate disagreeing = candidate;
    disagreeing.framed.characters[at - 1].length += 7.0f;
    EXPECT_EQ(judge.judge(disagreeing).verdict, Verdict::bad);
    // In a load whose characters keep their lengths, a run that lasts 0.3 half unit more than
    // any reading of it (a recording cut and joined there) is not read either.
    LoadCandidate joined = candidate;
    joined.framed.characters[at + 1].start += 2.1;
    EXPECT_EQ(judge.judge(joined).verdict, Verdict::bad);

    // A slip beside a stop bit read 0 (a dip took a cycle across the two): both characters
    // are weighed together over the stretch they fill.
    LoadCandidate pair = softReading(data, 0.05, random, 0.0);
    FramedCharacter& broken = pair.framed.characters[at - 1];
    broken.stopBad = true;
    broken.value = static_cast<std::uint8_t>(data[at - 1] ^ 0x06);
    slipAt(pair, at, 0x1F, {0x3B});
    keepSignal(pair, data, at - 1, at, 0.3, random);
    load = judge.judge(pair);
    ASSERT_EQ(load.verdict, Verdict::repaired) << load.problem;
    EXPECT_EQ(load.characters, data);
    EXPECT_EQ(load.repairs.size(), 2u);
    // The slip alone in a stretch kept: its broken neighbour is not weighed (its value may be
    // as wrong as the slip's, even where it was read right), so nothing is.
    pair.stretches.back().first = at;
    broken.value = data[at - 1];
    EXPECT_EQ(judge.judge(pair).verdict, Verdict::bad);
}

// However loud the hiss against the signal, a run weighed on it is never trusted wrong.
TEST(Trust, SlipsWeighedOnTheSignalAreNeverTrustedWrong) {
    std::mt19937 random(9090);
    const LoadJudge judge(rate);
    std::uniform_int_distribution<int> anyByte(0, 255);
    int wrongTrusted = 0;
    int quietRuns = 0;
    int quietRepaired = 0;
    int written = 0;
    int writtenRight = 0;
    for (int trial = 0; trial < 600; ++trial) {
        const std::vector<std::uint8_t> data = loadData(40 + trial % 100, random);
        const double hiss = std::array{0.2, 1.5, 2.5, 3.5}[trial % 4];
        LoadCandidate candidate = softReading(data, 0.05, random, 0.0);
        // One run, or two far apart (weighed together); of one character, two (a slip beside
        // a stop bit read 0) or three (and an unclear one before).
        const std::size_t runs = trial % 3 == 2 ? 2 : 1;
        for (std::size_t r = 0; r < runs; ++r) {
            const std::size_t at = (r == 0 ? 3 : 23) + static_cast<std::size_t>(trial) % 15;
            const std::size_t width = 1 + (static_cast<std::size_t>(trial) / 3 + r) % 3;
            for (std::size_t k = at + 1 - width; k < at; ++k) {
                FramedCharacter& broken = candidate.framed.characters[k];
                (k + 1 == at ? broken.stopBad : broken.startMisread) = true;
                broken.value = static_cast<std::uint8_t>(anyByte(random));
            }
            slipAt(candidate, at, static_cast<std::uint8_t>(anyByte(random)), {});
            keepSignal(candidate, data, at + 1 - width, at, hiss, random);
        }
        misreadBits(candidate, trial % 7 == 0 ? 1 : 0, random);
        const DecodedLoad load = judge.judge(candidate);
        wrongTrusted += load.verdict != Verdict::bad && load.characters != data ? 1 : 0;
        // Not trusted, but likelier right than wrong: BAD, written as that reading.
        if (load.verdict == Verdict::bad && trial % 7 != 0 &&
            load.problem.find("would be wrong with a chance of") != std::string::npos) {
            ++written;
            writtenRight += load.characters == data ? 1 : 0;
        }
        if (hiss == 0.2 && trial % 7 != 0) {
            ++quietRuns;
            quietRepaired += load.verdict == Verdict::repaired ? 1 : 0;
        }
    }
    EXPECT_EQ(wrongTrusted, 0);
    ASSERT_GT(quietRuns, 100);
    EXPECT_EQ(quietRepaired, quietRuns);
    EXPECT_GT(written, 20);
    EXPECT_GE(writtenRight * 10, written * 9) << writtenRight << " of " << written;
}

TEST(Trust, SlippedFramingIsNeverRepaired) {
    std::mt19937 random(7);
    const LoadJudge judge(rate);
    for (int trial = 0; trial < 2000; ++trial) {
        const std::vector<std::uint8_t> data = loadData(40 + trial % 200, random);
        LoadCandidate candidate = softReading(data, 0.05, random);
        FramedCharacter& slipped =
            candidate.framed.characters[static_cast<std::size_t>(trial) % data.size()];
        slipped.extraCycleDropped = true;
        // Mostly a wrong value, sometimes the right one; sometimes other errors too.
        if (trial % 4 != 0) {
            slipped.value = static_cast<std::uint8_t>(slipped.value ^ (1 + random() % 255));
        }
        misreadBits(candidate, trial % 3, random);
        const DecodedLoad load = judge.judge(candidate);
        ASSERT_EQ(load.verdict, Verdict::bad) << trial;
        EXPECT_NE(load.problem.find("framing slipped"), std::string::npos) << load.problem;
        EXPECT_TRUE(load.repairs.empty());
    }
}

TEST(Trust, ProblemsStandWhereTheyHappened) {
    std::mt19937 random(3);
    const std::vector<std::uint8_t> data = loadData(400, random);
    const LoadJudge judge(rate);

    // Guesses from character 150 on: a right checksum is not trusted, and the problem is
    // where the guessing starts, not at the start of the recording.
    LoadCandidate guessing = softReading(data, 0.05, random);
    for (std::size_t i = 150; i < 400; i += 3) {
        guessing.framed.characters[i].certainty[4] = 5;
    }
    DecodedLoad load = judge.judge(guessing);
    EXPECT_EQ(load.verdict, Verdict::bad);
    const double from = guessing.framed.characters[150].bitFrame(4);  // data bit 3's cycle
    EXPECT_EQ(load.problemSample, std::llround(from)) << load.problem;
    EXPECT_NEAR(load.problemSeconds, from / rate, 1e-9);
    ASSERT_TRUE(load.doubtsCrowd);
    EXPECT_EQ(load.crowdFrom.character, 150u);

    // A wrong checksum that nothing explains: at the first doubt, else at the checksum.
    LoadCandidate clear = softReading(data, 0.0, random, 0.0);
    clear.framed.characters[77].value ^= 0x10;
    load = judge.judge(clear);
    EXPECT_EQ(load.verdict, Verdict::bad);
    EXPECT_EQ(load.problemSample, std::llround(clear.framed.characters.back().start));

    // More doubts than a load keeps: the count is whole, the list bounded.
    std::vector<std::uint8_t> longData = loadData(3000, random);
    LoadCandidate murky = softReading(longData, 0.05, random);
    for (FramedCharacter& c : murky.framed.characters) {
        c.certainty[5] = 40;
    }
    load = judge.judge(murky);
    EXPECT_EQ(load.doubtfulCharacters, 3001u);
    EXPECT_EQ(load.doubts.size(), maximumDoubts);
}

TEST(Trust, BadKeepsTheMostLikelyReadingNotTheLongest) {
    std::mt19937 random(11);
    const std::vector<std::uint8_t> data = loadData(300, random);
    const LoadJudge judge(rate);
    // The right polarity: ten characters wrong, each with an unclear bit.
    LoadCandidate right = softReading(data, 0.05, random);
    for (std::size_t i = 20; i < 30; ++i) {
        right.framed.characters[i].value ^= 0x08;
        right.framed.characters[i].certainty[4] = 30;
    }
    // The wrong polarity runs past the footer: forty characters more, made of footer cycles
    // read with their framing wrong, and fifteen unclear decisions in the load.
    std::vector<std::uint8_t> longer = data;
    longer.insert(longer.end(), 40, 0xFF);
    LoadCandidate wrong = softReading(longer, 0.05, random);
    for (std::size_t i = data.size(); i < longer.size(); ++i) {
        wrong.framed.characters[i].startMisread = true;
        wrong.framed.characters[i].certainty[0] = 0;
    }
    for (std::size_t i = 100; i < 115; ++i) {
        wrong.framed.characters[i].value ^= 0x40;
        wrong.framed.characters[i].certainty[7] = 20;
    }
    wrong.polarity = Polarity::inverted;
    for (const bool rightFirst : {true, false}) {
        const std::vector<DecodedLoad> kept = mergedOf(judge, right, wrong, rightFirst);
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(kept[0].verdict, Verdict::bad);
        EXPECT_EQ(kept[0].polarity, Polarity::normal);
        EXPECT_EQ(kept[0].characters.size(), data.size());
    }
}

TEST(Trust, InterruptedSaveIsReportedBesideItsResave) {
    std::mt19937 random(5);
    const std::vector<std::uint8_t> data = loadData(300, random);
    const LoadJudge judge(rate);
    // The first save breaks off after 120 characters where the re-save's header begins.
    std::vector<std::uint8_t> cut(data.begin(), data.begin() + 120);
    LoadCandidate interrupted = softReading(cut, 0.05, random);
    interrupted.framed.complete = false;
    interrupted.framed.problem = "the signal is lost inside a character";
    interrupted.framed.problemAt = interrupted.framed.footerStart;
    interrupted.framed.end = interrupted.framed.footerStart + 40000.0;  // its tone ran on
    LoadCandidate resave = softReading(data, 0.05, random);
    const double shift = interrupted.framed.footerStart + 8000.0 - resave.headerStart;
    resave.headerStart += shift;
    resave.framed.syncStart += shift;
    for (FramedCharacter& c : resave.framed.characters) {
        c.start += shift;
    }
    resave.framed.footerStart += shift;
    resave.framed.footerEnd += shift;
    resave.framed.end += shift;
    for (const bool resaveFirst : {false, true}) {
        LoadMerger merger;
        merger.offer(judge.judge(resaveFirst ? resave : interrupted));
        merger.offer(judge.judge(resaveFirst ? interrupted : resave));
        const std::vector<DecodedLoad> kept = merger.finish(2000000, rate);
        ASSERT_EQ(kept.size(), 2u);
        EXPECT_EQ(kept[0].verdict, Verdict::bad);
        EXPECT_EQ(kept[0].characters.size(), 120u);
        EXPECT_EQ(kept[1].verdict, Verdict::ok);
        EXPECT_EQ(kept[1].characters, data);
    }
}

namespace {

std::vector<TestLoad> fourLoads() {
    std::vector<TestLoad> loads;
    for (unsigned seed = 1; seed <= 4; ++seed) {
        TestLoad load = binaryLoadWithRightChecksum(60 + 10 * seed, 100 + seed);
        load.gap = 0.6;
        loads.push_back(load);
    }
    return loads;
}

// Half a second of a steady 1575 Hz square wave: a tone with no load after it.
void insertTone(Recording& recording, double atSeconds, double seconds, float level) {
    std::vector<float> tone;
    const int frames = static_cast<int>(seconds * recording.rate);
    for (int i = 0; i < frames; ++i) {
        const double phase = std::fmod(i * 1575.0 / recording.rate, 1.0);
        tone.push_back(phase < 0.5 ? -level : level);
    }
    const auto at = static_cast<long>(atSeconds * recording.rate);
    recording.samples.insert(recording.samples.begin() + at, tone.begin(), tone.end());
}

// A long dropout from just before a load's sync character to just after its data: its header
// tone is all that is left of it.
void loseData(Recording& recording, const DecodedLoad& load) {
    dropout(recording, load.syncSeconds - 0.05, load.dataEndSeconds - load.syncSeconds + 0.1);
}

// A take whose recording began this many seconds into the tape (a mono recording).
void beginLate(Recording& recording, double seconds) {
    recording.samples.erase(
        recording.samples.begin(),
        recording.samples.begin() + static_cast<long>(seconds * recording.rate));
}

// Every load once, in order, with the characters its data makes.
void expectEachLoadOnceAndExact(const std::vector<DecodedLoad>& got,
                                const std::vector<TestLoad>& loads) {
    ASSERT_EQ(got.size(), loads.size());
    for (std::size_t i = 0; i < loads.size(); ++i) {
        EXPECT_EQ(got[i].characters, expectedOf(loads[i]).characters) << "load " << i + 1;
        EXPECT_NE(got[i].verdict, Verdict::bad) << "load " << i + 1 << ": " << got[i].problem;
    }
}

}  // namespace

TEST(Trust, TwoTakesWithADropoutAndAPhantomGiveEachLoadOnce) {
    const std::vector<TestLoad> loads = fourLoads();
    const Recording clean = render(loads, 22050, 16, 1);
    const std::vector<DecodedLoad> where = decode(clean);
    ASSERT_EQ(where.size(), 4u);
    const float level = 29490.0f / 32768.0f;

    // The first take loses 20 ms inside the second load's data.
    Recording first = clean;
    dropout(first, (where[1].syncSeconds + where[1].dataEndSeconds) / 2.0, 0.02);
    // The second take starts later, and a lone tone sits in the gap before the second load.
    Recording second = clean;
    insertTone(second, where[0].endSeconds + 0.2, 0.3, level);
    second.samples.insert(second.samples.begin(), 15435, 0.0f);  // 0.7 s
    const std::vector<DecodedLoad> a = decode(first);
    const std::vector<DecodedLoad> b = decode(second);
    // Each take alone is wrong somewhere: index by index the takes would not line up.
    ASSERT_TRUE(std::any_of(a.begin(), a.end(),
                            [](const DecodedLoad& l) { return l.verdict == Verdict::bad; }));
    ASSERT_EQ(b.size(), 5u);

    expectEachLoadOnceAndExact(mergeTakes({a, b}), loads);
    expectEachLoadOnceAndExact(mergeTakes({b, a}), loads);
}

// Each take holds a load the other did not read where the other's stands (one take holds a
// load more, and missed the next): two readings that are each right and disagree are two
// loads, however close in time; both are kept, in tape order.
TEST(Trust, ALoadAnotherTakeHasAtTheSamePlaceIsNotTakenForIt) {
    const std::vector<TestLoad> loads = fourLoads();
    TestLoad before = loads[0];
    before.gap += 0.5;
    const std::vector<DecodedLoad> a = decode(render({loads[0], loads[1], loads[3]}, 22050, 16, 1));
    const std::vector<DecodedLoad> b = decode(render({before, loads[2], loads[3]}, 22050, 16, 1));
    ASSERT_EQ(a.size(), 3u);
    ASSERT_EQ(b.size(), 3u);
    ASSERT_NEAR(b[1].startSeconds - a[1].startSeconds, 0.5, 0.01);
    expectEachLoadOnceAndExact(mergeTakes({a, b}), loads);
    expectEachLoadOnceAndExact(mergeTakes({b, a}), loads);
}

TEST(Trust, ALoadOnlyOneTakeHeardIsKeptWhereTheOtherTakeHeardNothing) {
    // The first take lost the last load's data to a long dropout: its header tone is all
    // that is left, BAD. The second take stopped after the third load, so it says nothing of
    // the fourth: the remains must be reported, not taken for the first take's noise.
    std::vector<TestLoad> loads = fourLoads();
    loads[0].header = 1.0;
    loads[3].header = 1.0;
    const Recording clean = render(loads, 22050, 16, 1);
    const std::vector<DecodedLoad> where = decode(clean);
    ASSERT_EQ(where.size(), 4u);
    Recording first = clean;
    loseData(first, where[3]);
    Recording second = clean;
    second.samples.resize(static_cast<std::size_t>((where[2].endSeconds + 0.3) * clean.rate));
    const std::vector<DecodedLoad> a = decode(first);
    const std::vector<DecodedLoad> b = decode(second);
    ASSERT_EQ(a.size(), 4u);
    ASSERT_EQ(a[3].verdict, Verdict::bad);
    ASSERT_TRUE(a[3].characters.empty());
    ASSERT_EQ(b.size(), 3u);
    for (const auto& merged : {mergeTakes({a, b}), mergeTakes({b, a})}) {
        ASSERT_EQ(merged.size(), 4u);
        EXPECT_EQ(merged[3].verdict, Verdict::bad);
        EXPECT_NEAR(merged[3].startSeconds, a[3].startSeconds, 0.01);
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(merged[i].characters, expectedOf(loads[i]).characters);
        }
    }

    // The same at the start: the first take lost the first load's data, and the second take
    // began after the first load.
    first = clean;
    loseData(first, where[0]);
    const std::vector<DecodedLoad> c = decode(first);
    ASSERT_EQ(c.size(), 4u);
    ASSERT_TRUE(c[0].characters.empty());
    second = clean;
    beginLate(second, where[1].startSeconds - 0.3);
    const std::vector<DecodedLoad> d = decode(second);
    ASSERT_EQ(d.size(), 3u);
    for (const auto& merged : {mergeTakes({c, d}), mergeTakes({d, c})}) {
        ASSERT_EQ(merged.size(), 4u);
        EXPECT_EQ(merged[0].verdict, Verdict::bad);
        for (std::size_t i = 1; i < 4; ++i) {
            EXPECT_EQ(merged[i].characters, expectedOf(loads[i]).characters);
        }
    }

    // Where the other take read that load, the tone is that load, unreadable in one take:
    // also on a tape of one load, where no clock can be set between the takes.
    const std::vector<TestLoad> one = {loads[3]};
    const Recording single = render(one, 22050, 16, 1);
    const std::vector<DecodedLoad> read = decode(single);
    ASSERT_EQ(read.size(), 1u);
    Recording lost = single;
    loseData(lost, read[0]);
    const std::vector<DecodedLoad> tone = decode(lost);
    ASSERT_EQ(tone.size(), 1u);
    ASSERT_TRUE(tone[0].characters.empty());
    expectEachLoadOnceAndExact(mergeTakes({tone, read}), one);
    expectEachLoadOnceAndExact(mergeTakes({read, tone}), one);
}

// One take holds a load the other lacks (skipped, or another copy of the tape), so a clock
// set on the loads before is off by that load's length after it. What only one take read
// there is not that take's noise: the other take did not play the same stretch of tape.
TEST(Trust, WhereOneTakeLacksALoadNothingOfTheOtherIsTakenForNoise) {
    std::vector<TestLoad> loads = fourLoads();
    loads[2].header = 1.0;
    const Recording clean = render(loads, 22050, 16, 1);
    const std::vector<DecodedLoad> where = decode(clean);
    ASSERT_EQ(where.size(), 4u);
    const double length = where[3].startSeconds - where[2].startSeconds;
    Recording lacking = clean;
    const auto from = static_cast<long>(where[2].startSeconds * clean.rate) - 2000;
    lacking.samples.erase(lacking.samples.begin() + from,
                          lacking.samples.begin() + from + static_cast<long>(length * clean.rate));
    const Recording lackingClean = lacking;
    // Loud hiss in place of the last load's data, other hiss in each take: its readings
    // agree with nothing, and the lacking take's sits where the other has its third load.
    auto garble = [](Recording& recording, const DecodedLoad& load, double early, unsigned seed) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> hiss(-0.9f, 0.9f);
        for (auto i = static_cast<std::size_t>((load.syncSeconds + 0.01 - early) * recording.rate);
             i < static_cast<std::size_t>((load.dataEndSeconds - early) * recording.rate); ++i) {
            recording.samples[i] = hiss(random);
        }
    };
    Recording whole = clean;
    garble(whole, where[3], 0.0, 1);
    garble(lacking, where[3], length, 2);
    std::vector<DecodedLoad> a = decode(whole);
    std::vector<DecodedLoad> b = decode(lacking);
    ASSERT_EQ(a.size(), 4u);
    ASSERT_EQ(b.size(), 3u);
    ASSERT_EQ(a[3].verdict, Verdict::bad);
    ASSERT_EQ(b[2].verdict, Verdict::bad);
    ASSERT_GE(a[3].expectedWrong, 0.5 * static_cast<double>(a[3].characters.size()));
    auto expectFourWithTheLastBad = [&](std::size_t bad) {
        for (const auto& merged : {mergeTakes({a, b}), mergeTakes({b, a})}) {
            ASSERT_EQ(merged.size(), 4u);
            for (std::size_t i = 0; i < 4; ++i) {
                if (i == bad) {
                    EXPECT_EQ(merged[i].verdict, Verdict::bad);
                    EXPECT_NEAR(merged[i].startSeconds, a[i].startSeconds, 0.01);
                } else {
                    EXPECT_EQ(merged[i].characters, expectedOf(loads[i]).characters) << i;
                }
            }
        }
    };
    expectFourWithTheLastBad(3);

    // The load the other take lacks lost its data: its header tone is all there is of it,
    // between two loads both takes read alike, which the lacking take played closer together.
    whole = clean;
    loseData(whole, where[2]);
    a = decode(whole);
    b = decode(lackingClean);
    ASSERT_EQ(a.size(), 4u);
    ASSERT_TRUE(a[2].characters.empty());
    expectFourWithTheLastBad(2);

    // The other take stopped a tenth of a second into the last load's header tone (too
    // short a tone to report): it played where that load begins, never its data.
    whole = clean;
    garble(whole, where[3], 0.0, 3);
    a = decode(whole);
    Recording shorter = clean;
    shorter.samples.resize(static_cast<std::size_t>((where[3].startSeconds + 0.1) * clean.rate));
    b = decode(shorter);
    ASSERT_EQ(a.size(), 4u);
    ASSERT_EQ(b.size(), 3u);
    ASSERT_EQ(a[3].verdict, Verdict::bad);
    expectFourWithTheLastBad(3);
}

// A dropout in a header tone splits it: a lone piece of tone, then the load, which starts
// where the tone came back. The other take read the header whole; between the loads both read
// alike it heard nothing else, and it ran as long (from sync character to sync character,
// not from where the header tones began), so the piece is noise of the first take.
TEST(Trust, APieceOfAHeaderToneADropoutSplitOffIsNotALoad) {
    std::vector<TestLoad> loads = fourLoads();
    loads[2].header = 1.5;
    const Recording clean = render(loads, 22050, 16, 1);
    const std::vector<DecodedLoad> where = decode(clean);
    ASSERT_EQ(where.size(), 4u);
    Recording split = clean;
    dropout(split, where[2].startSeconds + 0.5, 0.1);
    const std::vector<DecodedLoad> a = decode(split);
    const std::vector<DecodedLoad> b = decode(clean);
    ASSERT_EQ(a.size(), 5u);
    ASSERT_TRUE(a[2].characters.empty());
    ASSERT_GT(a[3].startSeconds - b[2].startSeconds, 0.5);
    expectEachLoadOnceAndExact(mergeTakes({a, b}), loads);
    expectEachLoadOnceAndExact(mergeTakes({b, a}), loads);
}

// The same as merged readings alone: the lacking take's garbage runs on to where the other
// take's garbage lies, so it played that long; but its only reading there went into the
// load it lacks, which the other take read on its own, and so it cannot say it heard nothing.
TEST(Trust, AReadingPutWithALoadItDoesNotResembleLeavesTheStretchOpen) {
    auto reading = [](double start, double end, unsigned seed, Verdict verdict) {
        DecodedLoad load;
        load.startSeconds = start;
        load.endSeconds = end;
        load.gapSeconds = 0.5;
        load.characters = randomBytes(60, seed);
        load.verdict = verdict;
        load.whole = verdict == Verdict::ok;
        load.expectedWrong = verdict == Verdict::ok ? 0.0 : 50.0;
        return load;
    };
    std::vector<DecodedLoad> a = {
        reading(0.0, 1.0, 1, Verdict::ok), reading(1.5, 2.5, 2, Verdict::ok),
        reading(3.0, 4.0, 3, Verdict::ok), reading(4.5, 5.5, 4, Verdict::bad)};
    std::vector<DecodedLoad> b = {a[0], a[1], reading(3.0, 5.6, 5, Verdict::bad)};
    auto expectTheGarbageAfterTheThird = [&](std::size_t count) {
        for (const auto& merged : {mergeTakes({a, b}), mergeTakes({b, a})}) {
            ASSERT_EQ(merged.size(), count);
            for (std::size_t i = 0; i < count; ++i) {
                EXPECT_EQ(merged[i].verdict, i < 3 ? Verdict::ok : Verdict::bad) << i;
                if (i < 3) {
                    EXPECT_EQ(merged[i].characters, a[i].characters) << i;
                }
            }
        }
    };
    expectTheGarbageAfterTheThird(4);
    // Placed too far from either to be put with one, each take's garbage stands alone
    // between the loads both read: each is reported, as each take alone reports it.
    a[3].startSeconds = 5.5;
    a[3].endSeconds = 6.5;
    b[2].startSeconds = 4.2;
    b[2].endSeconds = 6.6;
    expectTheGarbageAfterTheThird(5);
}

// Characters a dropout took are unknown, not different: a reading that lost a tenth of its
// characters is still the same load as another take's, so the takes get a clock, and the
// other take's header tone at the end of its recording (it stopped there) goes with the load
// the first take read there instead of standing as a load of its own (exit status 2 on a
// tape read exactly). Unknown characters never make two different loads alike.
TEST(Trust, CharactersADropoutTookDoNotKeepTakesApart) {
    auto reading = [](double start, std::vector<std::uint8_t> characters, Verdict verdict) {
        DecodedLoad load;
        load.startSeconds = start;
        load.endSeconds = start + 3.0;
        load.gapSeconds = 0.5;
        load.characters = std::move(characters);
        load.verdict = verdict;
        load.whole = true;
        return load;
    };
    const auto first = randomBytes(170, 11);
    std::vector<std::uint8_t> holed = first;
    DecodedLoad broken = reading(0.66, holed, Verdict::bad);
    for (std::size_t i = 95; i < 114; ++i) {
        broken.characters[i] = 0;
        CharacterDoubt doubt;
        doubt.character = i;
        doubt.kind = CharacterDoubt::Kind::lost;
        broken.doubts.push_back(doubt);
    }
    broken.expectedWrong = 19.0;
    const std::vector<DecodedLoad> a = {broken, reading(4.77, randomBytes(280, 12), Verdict::ok),
                                        reading(8.95, randomBytes(280, 13), Verdict::ok)};
    DecodedLoad tone = reading(4.41, {}, Verdict::bad);
    tone.whole = false;
    const std::vector<DecodedLoad> b = {reading(0.33, first, Verdict::ok), tone};
    EXPECT_GE(agreement(a[0], b[0]), sameContent);
    for (const auto& merged : {mergeTakes({a, b}), mergeTakes({b, a})}) {
        ASSERT_EQ(merged.size(), 3u);
        EXPECT_EQ(merged[0].characters, first);
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(merged[i].verdict, Verdict::ok) << i;
        }
    }
    // The same holes in a reading of another load leave it as unlike as it was.
    DecodedLoad other = broken;
    const auto different = randomBytes(170, 14);
    std::copy(different.begin(), different.end(), other.characters.begin());
    EXPECT_LT(agreement(other, b[0]), 0.1);
    EXPECT_LT(agreement(b[0], other), 0.1);
}

// A take lost a load's data: its header tone and, well after the load's start, its footer
// tone are left alone. Another take read that load whole, and a third began late, in the
// first load's data, so it cannot show that it played the stretch alike. The footer lies
// inside the load the first take read, and the tape holds no load inside a load.
TEST(Trust, AToneAloneInsideALoadAnotherTakeReadIsThatLoads) {
    std::vector<TestLoad> loads = fourLoads();
    loads[1].header = 1.2;
    loads[1].footer = 0.3;
    loads[0].footer = 0.3;
    const Recording clean = render(loads, 22050, 16, 1);
    const std::vector<DecodedLoad> where = decode(clean);
    ASSERT_EQ(where.size(), 4u);
    Recording lost = clean;
    loseData(lost, where[1]);
    Recording late = clean;
    beginLate(late, where[0].syncSeconds + 0.1);
    const std::vector<DecodedLoad> a = decode(clean);
    const std::vector<DecodedLoad> b = decode(late);
    const std::vector<DecodedLoad> c = decode(lost);
    ASSERT_EQ(c.size(), 5u);
    ASSERT_TRUE(c[1].characters.empty() && c[2].characters.empty());
    ASSERT_GT(c[2].startSeconds - c[1].startSeconds, 1.0);
    expectEachLoadOnceAndExact(mergeTakes({a, b, c}), loads);
    expectEachLoadOnceAndExact(mergeTakes({c, a, b}), loads);

    // But a tone that runs on past that load's end is more than its footer: here the footer
    // runs straight into the header of a load that only this take holds, and the take lost
    // the data of both. The remains of the load only it holds are reported.
    std::vector<TestLoad> withMore = loads;
    withMore[1].gap = 0.0;
    TestLoad more = binaryLoadWithRightChecksum(90, 200);
    more.header = 1.0;
    withMore.insert(withMore.begin() + 2, more);
    const Recording cleanMore = render(withMore, 22050, 16, 1);
    const std::vector<DecodedLoad> places = decode(cleanMore);
    ASSERT_EQ(places.size(), 5u);
    Recording lostMore = cleanMore;
    loseData(lostMore, places[1]);
    loseData(lostMore, places[2]);
    const std::vector<DecodedLoad> d = decode(lostMore);
    ASSERT_EQ(d.size(), 5u);
    ASSERT_TRUE(d[1].characters.empty() && d[2].characters.empty());
    ASSERT_GT(d[2].endSeconds - d[2].startSeconds, 1.0);
    for (const auto& merged : {mergeTakes({a, d}), mergeTakes({d, a})}) {
        ASSERT_EQ(merged.size(), 5u);
        EXPECT_EQ(merged[1].characters, expectedOf(loads[1]).characters);
        EXPECT_EQ(merged[2].verdict, Verdict::bad);
        EXPECT_TRUE(merged[2].characters.empty());
    }
}

// The first take read nothing but the tones of two loads (no clock can be set between the
// takes); the second began after the first load. By their own times the second take's load
// sits where the first take has the first load's tone: that says nothing, and every tone of
// the first take is reported, so the first load does not vanish under exit status 0.
TEST(Trust, ATakeWithoutAClockSilencesNoToneOfAnother) {
    std::vector<TestLoad> loads = fourLoads();
    loads.resize(2);
    loads[0].header = 1.0;
    loads[1].header = 1.0;
    const Recording clean = render(loads, 22050, 16, 1);
    const std::vector<DecodedLoad> where = decode(clean);
    ASSERT_EQ(where.size(), 2u);
    Recording first = clean;
    for (const DecodedLoad& load : where) {
        loseData(first, load);
    }
    Recording second = clean;
    beginLate(second, where[1].startSeconds - 0.1);
    const std::vector<DecodedLoad> a = decode(first);
    const std::vector<DecodedLoad> b = decode(second);
    ASSERT_EQ(a.size(), 2u);
    ASSERT_TRUE(a[0].characters.empty() && a[1].characters.empty());
    ASSERT_EQ(b.size(), 1u);
    for (const auto& merged : {mergeTakes({a, b}), mergeTakes({b, a})}) {
        ASSERT_EQ(merged.size(), 3u);
        EXPECT_EQ(std::count_if(merged.begin(), merged.end(),
                                [](const DecodedLoad& l) { return l.verdict == Verdict::bad; }),
                  2);
        EXPECT_EQ(std::count_if(merged.begin(), merged.end(),
                                [&](const DecodedLoad& l) {
                                    return l.characters == expectedOf(loads[1]).characters;
                                }),
                  1);
    }
}

namespace {

// Six binary loads of 160 to 210 bytes with half a second between them.
std::vector<TestLoad> sixLoads(unsigned seeds) {
    std::vector<TestLoad> loads;
    for (unsigned seed = 1; seed <= 6; ++seed) {
        TestLoad load = binaryLoadWithRightChecksum(150 + 10 * seed, seeds + seed);
        load.gap = 0.5;
        loads.push_back(load);
    }
    return loads;
}

}  // namespace

TEST(Trust, TwoNoisyTakesReadBetterThanEitherAloneAndNeverWrong) {
    const std::vector<TestLoad> loads = sixLoads(200);
    std::vector<std::vector<std::uint8_t>> expected;
    for (const TestLoad& load : loads) {
        expected.push_back(expectedOf(load).characters);
    }
    // Loads read right and trusted; a trusted load with characters of no load is a failure.
    auto exact = [&](const std::vector<DecodedLoad>& got) {
        int count = 0;
        for (const DecodedLoad& load : got) {
            const bool known =
                std::find(expected.begin(), expected.end(), load.characters) != expected.end();
            EXPECT_TRUE(known || load.verdict == Verdict::bad) << verdictName(load.verdict);
            count += known && load.verdict != Verdict::bad ? 1 : 0;
        }
        return count;
    };
    const Recording clean = render(loads, 22050, 16, 1);
    // At 3 dB the takes together read more loads than either; elsewhere, together they never
    // read fewer than the better one.
    for (const double snr : {3.25, 3.0, 2.5}) {
        SCOPED_TRACE(testing::Message() << snr << " dB");
        Recording first = clean;
        Recording second = clean;
        addNoise(first, snr, 1);
        addNoise(second, snr, 2);
        const std::vector<DecodedLoad> a = decode(first);
        const std::vector<DecodedLoad> b = decode(second);
        const int alone = std::max(exact(a), exact(b));
        ASSERT_LT(alone, 6);
        if (snr == 3.0) {
            EXPECT_GT(exact(mergeTakes({a, b})), alone);
        } else {
            EXPECT_GE(exact(mergeTakes({a, b})), alone);
        }
    }
}

// One recording given twice (or a take and a copy of it) holds no more than the recording:
// its doubtful bits are the same in both, and agreeing with itself proves nothing. Nor does
// it hold less.
TEST(Trust, TheSameRecordingGivenTwiceIsTrustedNoMoreThanOnce) {
    const Recording clean = render(sixLoads(300), 22050, 16, 1);
    int bad = 0;
    for (const double snr : {3.0, 2.5, 2.0}) {
        Recording noisy = clean;
        addNoise(noisy, snr, 3);
        const std::vector<DecodedLoad> once = decode(noisy);
        const std::vector<DecodedLoad> twice = mergeTakes({once, once});
        ASSERT_EQ(twice.size(), once.size()) << snr << " dB";
        for (std::size_t i = 0; i < once.size(); ++i) {
            bad += once[i].verdict == Verdict::bad ? 1 : 0;
            EXPECT_EQ(twice[i].verdict == Verdict::bad, once[i].verdict == Verdict::bad)
                << snr << " dB, load " << i;
            EXPECT_EQ(twice[i].characters, once[i].characters) << snr << " dB, load " << i;
        }
    }
    EXPECT_GE(bad, 4);  // enough loads in doubt for the rule to be tried
}

TEST(Trust, RecordedInterruptedSaveIsReportedBeforeItsResave) {
    TestLoad load = binaryLoadWithRightChecksum(300, 77);
    load.header = 1.0;
    const Recording whole = render({load}, 22050, 16, 1);
    const std::vector<DecodedLoad> where = decode(whole);
    ASSERT_EQ(where.size(), 1u);
    const Expected want = expectedOf(load);
    // The save is stopped at points inside its data and started again from the beginning:
    // the header of the re-save follows straight on the cut. Noise after the re-save's footer
    // must not become a third load either.
    for (int k = 1; k < 40; ++k) {
        const double share = k / 40.0;
        SCOPED_TRACE(testing::Message() << share);
        const double cut =
            where[0].syncSeconds + share * (where[0].dataEndSeconds - where[0].syncSeconds);
        Recording r = whole;
        r.samples.resize(static_cast<std::size_t>(cut * r.rate));
        const std::size_t lead = static_cast<std::size_t>(where[0].startSeconds * r.rate);
        r.samples.insert(r.samples.end(), whole.samples.begin() + static_cast<long>(lead),
                         whole.samples.end());
        addNoise(r, 11.0, static_cast<unsigned>(k));
        const std::vector<DecodedLoad> got = decode(r);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0].verdict, Verdict::bad);
        EXPECT_NEAR(got[0].startSeconds, where[0].startSeconds, 0.01);
        EXPECT_EQ(got[1].verdict, Verdict::ok);
        EXPECT_EQ(got[1].characters, want.characters);
        // What the cut save holds is the start of the load.
        const std::size_t read = std::min(got[0].characters.size(), want.characters.size());
        EXPECT_GT(read, 0u);
        EXPECT_TRUE(std::equal(want.characters.begin(),
                               want.characters.begin() + static_cast<long>(read * 8 / 10),
                               got[0].characters.begin()));
    }
}

// A load without one unclear decision may still hold a wrong one: a lone middling decision
// in it is neither taken as sure nor as likely wrong, and its odds do not grow with the
// load's length (a long clean reading is better evidence than a short one, not worse).
TEST(Trust, ALoneMiddlingDecisionInACleanLoadHasModestOddsAtAnyLength) {
    std::vector<double> found;
    for (const std::size_t length : {500u, 8000u}) {
        FramedLoad load;
        load.characters.resize(length);
        for (FramedCharacter& character : load.characters) {
            character.certainty.fill(255);
        }
        load.characters[length / 2].certainty[4] = 150;
        found.push_back(ErrorOdds(load).odds(150));
        EXPECT_GT(found.back(), 2e-4) << length;
        EXPECT_LT(found.back(), 1e-3) << length;
    }
    EXPECT_NEAR(found[1], found[0], found[0] * 0.05);
}

TEST(Trust, ALoadWithoutDataNeedsAClearSyncCharacter) {
    // Hiss inside a dip of a header tone can pass for a sync character with a guess in it,
    // and the rest of the tone for its footer: with no checksum, only the sync vouches.
    const LoadJudge judge(rate);
    std::mt19937 random(3);
    LoadCandidate candidate = softReading({}, 0.05, random);
    candidate.framed.characters.clear();
    candidate.framed.syncCertainty = 0.9f;
    EXPECT_EQ(judge.judge(candidate).verdict, Verdict::ok);
    candidate.framed.syncCertainty = 0.2f;
    const DecodedLoad load = judge.judge(candidate);
    EXPECT_EQ(load.verdict, Verdict::bad);
    EXPECT_EQ(load.problem.find("no characters after a sync character read too unclearly"), 0u)
        << load.problem;
}

TEST(Trust, ALoadOfAFewCharactersIsNeverRepairedAndTrustedOnlyWithAClearSync) {
    // Hiss in a dip of a header tone, read in the other polarity, made a "load" of one
    // character whose checksum three guesses could put right. Too few decisions to weigh.
    std::mt19937 random(3);
    const LoadJudge judge(rate);
    for (const std::size_t length : {0u, 3u, 6u}) {
        const std::vector<std::uint8_t> data = loadData(length, random);
        LoadCandidate wrongSum = softReading(data, 0.05, random);
        wrongSum.framed.characters[0].value ^= 0x04;
        wrongSum.framed.characters[0].certainty[3] = 2;
        const DecodedLoad unrepaired = judge.judge(wrongSum);
        EXPECT_EQ(unrepaired.verdict, Verdict::bad) << length;
        EXPECT_EQ(unrepaired.problem, "checksum wrong, and a load this short is not repaired");
        EXPECT_TRUE(unrepaired.repairs.empty());

        LoadCandidate unclearSync = softReading(data, 0.05, random);
        unclearSync.framed.syncCertainty = 0.3f;
        const DecodedLoad unsure = judge.judge(unclearSync);
        EXPECT_EQ(unsure.verdict, Verdict::bad) << length;
        EXPECT_EQ(unsure.problem,
                  "checksum right, but its sync character read too unclearly to tell a load "
                  "this short from noise");

        EXPECT_EQ(judge.judge(softReading(data, 0.05, random)).verdict, Verdict::ok) << length;
    }
    // From eight characters on, the load's own decisions are weighed as before.
    LoadCandidate longer = softReading(loadData(7, random), 0.05, random);
    longer.framed.syncCertainty = 0.3f;
    EXPECT_EQ(judge.judge(longer).verdict, Verdict::ok);
}

TEST(Trust, AWholeReadingThatEndedEarlyLosesToOneWithTheDataAfterIt) {
    // The same phantom beside the real reading of the load, BAD with two characters wrong:
    // the real one is kept, not the one-character reading that ended in the header.
    std::mt19937 random(4);
    const LoadJudge judge(rate);
    const std::vector<std::uint8_t> data = loadData(200, random);
    LoadCandidate real = softReading(data, 0.05, random);
    real.framed.characters[50].value ^= 0x10;
    real.framed.characters[50].certainty[5] = 10;
    real.framed.characters[90].value ^= 0x02;
    real.framed.characters[90].certainty[2] = 10;
    LoadCandidate phantom = softReading({0x12}, 0.05, random);
    phantom.framed.characters[0].certainty[3] = 2;
    phantom.framed.footerEnd = phantom.framed.footerStart + 200.0;
    phantom.framed.end = phantom.framed.footerEnd;
    phantom.polarity = Polarity::inverted;
    for (const bool realFirst : {true, false}) {
        const std::vector<DecodedLoad> kept = mergedOf(judge, real, phantom, realFirst);
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(kept[0].characters.size(), data.size()) << realFirst;
        EXPECT_EQ(kept[0].polarity, Polarity::normal);
    }
}

// A load saved twice (a re-save: the same characters) matches either copy by what it holds.
// The second take lost the data of the load before the first copy (its header tone and a
// tone inside its data are left) and holds the load once. Where the match with the later
// copy set its clock, the clock was off by two seconds, and the tone inside the lost load
// stood beside no load: BAD, exit 2, on a tape read whole (take_trials.py 1431 --more).
TEST(Trust, ALoadSavedTwiceSetsNoClock) {
    std::mt19937 random(5);
    auto load = [&](double start, double seconds, std::size_t length) {
        DecodedLoad l;
        l.sampleRate = rate;
        l.startSeconds = start;
        l.headerSeconds = 0.3;
        l.syncSeconds = start + 0.3;
        l.endSeconds = start + (length > 0 ? seconds : 0.3);
        l.dataEndSeconds = length > 0 ? l.endSeconds - 0.25 : l.endSeconds;
        l.footerSeconds = length > 0 ? 0.25 : 0.0;
        l.startSample = std::llround(start * rate);
        l.endSample = std::llround(l.endSeconds * rate);
        l.whole = length > 0;
        l.verdict = length > 0 ? Verdict::ok : Verdict::bad;
        l.toneOnly = length == 0;
        l.problem = length > 0 ? "" : "a header tone with no load after it";
        if (length > 0) {
            l.characters = loadData(length - 1, random);
        }
        return l;
    };
    auto moved = [](DecodedLoad l, double by) {
        l.startSeconds += by;
        l.syncSeconds += by;
        l.dataEndSeconds += by;
        l.endSeconds += by;
        return l;
    };
    std::vector<DecodedLoad> a = {load(0.26, 3.1, 269), load(3.95, 3.3, 385), load(7.88, 1.9, 216),
                                  load(10.09, 2.2, 284), load(12.31, 0.9, 64)};
    a.push_back(moved(a.back(), 2.89));
    std::vector<DecodedLoad> c;
    for (std::size_t i = 0; i < 3; ++i) {
        c.push_back(moved(a[i], 0.67));
    }
    c.push_back(load(10.76, 0, 0));
    c.push_back(load(12.40, 0, 0));
    c.push_back(moved(a[4], 0.64));
    // Either take first: the take that holds the load once matches either copy as well.
    for (const bool lostFirst : {false, true}) {
        const std::vector<DecodedLoad> merged = lostFirst ? mergeTakes({c, a}) : mergeTakes({a, c});
        ASSERT_EQ(merged.size(), a.size()) << lostFirst;
        for (std::size_t i = 0; i < a.size(); ++i) {
            EXPECT_EQ(merged[i].characters, a[i].characters) << lostFirst << " " << i;
            EXPECT_NE(merged[i].verdict, Verdict::bad)
                << lostFirst << " " << i << " " << merged[i].problem;
        }
    }
    // A tape of nothing but saves made twice: every match is a copy, and the copies set the
    // clock (in order, they agree on it). The second take lost the data of the third load
    // and stopped there; its tone goes with that load, not on as a load of its own.
    const std::vector<DecodedLoad> twice = {a[0], moved(a[0], 3.4), a[2], moved(a[2], 2.1)};
    const std::vector<DecodedLoad> lost = {moved(twice[0], 0.5), moved(twice[1], 0.5),
                                           load(twice[2].startSeconds + 0.5, 0, 0)};
    const std::vector<DecodedLoad> merged = mergeTakes({twice, lost});
    ASSERT_EQ(merged.size(), twice.size());
    for (std::size_t i = 0; i < twice.size(); ++i) {
        EXPECT_EQ(merged[i].characters, twice[i].characters) << i;
        EXPECT_NE(merged[i].verdict, Verdict::bad) << i << " " << merged[i].problem;
    }
}
