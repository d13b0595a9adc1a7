// SPDX-License-Identifier: MIT
// The checksum judge and its repairs, the choice among readings of one load, and the
// merge of several takes: right checksums are kept, doubtful bits repaired only when that
// makes the checksum right, and a load that cannot be made right stays BAD.
#include <gtest/gtest.h>

#include <cmath>

#include "decode/character_length.h"
#include "decode/load_judge.h"
#include "decode/load_merger.h"
#include "decode/take_merger.h"
#include "decode/uncounted_dropouts.h"

using namespace kelvanto::decode;

namespace {

// The data, then the checksum that makes 0xA5 + every character equal 0xFF modulo 256.
std::vector<std::uint8_t> withChecksum(std::vector<std::uint8_t> data) {
    unsigned sum = 0xA5;
    for (const std::uint8_t byte : data) {
        sum += byte;
    }
    data.push_back(static_cast<std::uint8_t>(0xFFu - (sum & 0xFFu)));
    return data;
}

const std::vector<std::uint8_t> data = withChecksum({0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x7F});

// A complete reading of these characters, every cycle clear, 100 frames per character.
LoadCandidate reading(const std::vector<std::uint8_t>& characters) {
    LoadCandidate candidate;
    candidate.headerCycles = 300;
    candidate.onePeriod = 14.0 / 22050.0;
    candidate.amplitude = 0.5;
    candidate.framed.complete = true;
    for (std::size_t i = 0; i < characters.size(); ++i) {
        FramedCharacter c;
        c.start = 5000.0 + 100.0 * static_cast<double>(i);
        c.value = characters[i];
        c.certainty.fill(255);
        for (std::size_t b = 0; b < 10; ++b) {
            c.offsets[b] = static_cast<std::uint16_t>(10 * b);
        }
        candidate.framed.characters.push_back(c);
    }
    candidate.framed.hasFiller = characters.size() % 2 != 0;
    candidate.framed.fillerCertainty.fill(255);
    candidate.framed.end = 6000.0;
    return candidate;
}

// Flips a data bit of a character and gives that decision a certainty.
void misread(LoadCandidate& candidate, std::size_t character, int bit, std::uint8_t certainty) {
    FramedCharacter& c = candidate.framed.characters[character];
    c.value = static_cast<std::uint8_t>(c.value ^ (1u << bit));
    c.certainty[static_cast<std::size_t>(bit) + 1] = certainty;
}

// A reading of a recording at 100 frames a second: its header tone from start, its
// characters from 20 frames later to 20 frames before its end.
DecodedLoad decoded(Verdict verdict, std::int64_t start, std::int64_t end,
                    std::vector<std::uint8_t> characters = {}) {
    DecodedLoad load;
    load.verdict = verdict;
    load.startSample = start;
    load.endSample = end;
    load.syncSeconds = static_cast<double>(start + 20) / 100.0;
    load.dataEndSeconds = static_cast<double>(end - 20) / 100.0;
    load.whole = !characters.empty();
    load.characters = std::move(characters);
    return load;
}

}  // namespace

TEST(LoadJudge, RightChecksumIsOk) {
    const DecodedLoad load = LoadJudge(22050.0).judge(reading(data));
    EXPECT_EQ(load.verdict, Verdict::ok);
    EXPECT_EQ(load.characters, data);
    EXPECT_TRUE(load.doubts.empty());
    EXPECT_NEAR(load.speedRatio, 1.0, 1e-9);
}

TEST(LoadJudge, RepairsTheDoubtfulBitThatTheSumDifferenceNames) {
    LoadCandidate candidate = reading(data);
    misread(candidate, 3, 5, 40);  // 0x40 read as 0x60, the sum 32 too high
    misread(candidate, 1, 2, 60);
    misread(candidate, 1, 2, 60);  // doubtful, but right: flipped twice
    const DecodedLoad load = LoadJudge(22050.0).judge(candidate);
    ASSERT_EQ(load.verdict, Verdict::repaired);
    EXPECT_EQ(load.characters, data);
    ASSERT_EQ(load.repairs.size(), 1u);
    EXPECT_EQ(load.repairs[0].character, 3u);
    EXPECT_EQ(load.repairs[0].bit, 5);
    EXPECT_EQ(load.repairs[0].before, 0x60);
    EXPECT_EQ(load.repairs[0].after, 0x40);
    EXPECT_EQ(load.repairs[0].sample, 5300 + 60);  // the cycle of data bit 5
    EXPECT_EQ(load.doubts.size(), 2u);
}

TEST(LoadJudge, RepairsTwoDoubtfulBitsTogether) {
    LoadCandidate candidate = reading(data);
    misread(candidate, 0, 1, 20);
    misread(candidate, 6, 6, 30);
    const DecodedLoad load = LoadJudge(22050.0).judge(candidate);
    ASSERT_EQ(load.verdict, Verdict::repaired);
    EXPECT_EQ(load.characters, data);
    EXPECT_EQ(load.repairs.size(), 2u);
}

TEST(LoadJudge, ClearErrorsAndHeavyDoubtStayBad) {
    // A wrong bit that was read clearly: nothing doubtful explains the difference.
    LoadCandidate clear = reading(data);
    misread(clear, 2, 4, 250);
    DecodedLoad load = LoadJudge(22050.0).judge(clear);
    EXPECT_EQ(load.verdict, Verdict::bad);
    EXPECT_TRUE(load.repairs.empty());
    EXPECT_FALSE(load.problem.empty());
    EXPECT_EQ(load.characters[2], data[2] ^ 0x10);  // nothing silently changed

    // One wrong bit among thirty guesses: a repair could only be luck.
    LoadCandidate murky = reading(data);
    misread(murky, 2, 4, 10);
    for (std::size_t c = 0; c < 8; ++c) {
        for (std::size_t b = 1; b <= 4; ++b) {
            murky.framed.characters[c].certainty[b] = std::min<std::uint8_t>(
                murky.framed.characters[c].certainty[b], static_cast<std::uint8_t>(20 + b));
        }
    }
    load = LoadJudge(22050.0).judge(murky);
    EXPECT_EQ(load.verdict, Verdict::bad);
    EXPECT_TRUE(load.repairs.empty());

    // A reading that broke off is BAD whatever its characters.
    LoadCandidate broken = reading(data);
    broken.framed.complete = false;
    broken.framed.problem = "the signal is lost inside the data";
    broken.framed.problemAt = 5500.0;
    load = LoadJudge(22050.0).judge(broken);
    EXPECT_EQ(load.verdict, Verdict::bad);
    EXPECT_EQ(load.problemSample, 5500);
}

TEST(LoadMerger, BestReadingOfEachLoadAndTheGapsBetween) {
    LoadMerger merger;
    merger.offer(decoded(Verdict::bad, 100, 900, {1, 2}));
    merger.offer(decoded(Verdict::ok, 110, 905, data));  // the same load, better
    merger.offer(decoded(Verdict::bad, 120, 880));       // worse: dropped
    merger.offer(decoded(Verdict::repaired, 1000, 1800, data));
    const std::vector<DecodedLoad> loads = merger.finish(2000, 100.0);
    ASSERT_EQ(loads.size(), 2u);
    EXPECT_EQ(loads[0].verdict, Verdict::ok);
    EXPECT_NEAR(loads[0].gapSeconds, (1000 - 905) / 100.0, 1e-9);
    EXPECT_EQ(loads[1].verdict, Verdict::repaired);
    EXPECT_NEAR(loads[1].gapSeconds, 2.0, 1e-9);
}

// A dropout inside a footer: the 1s after it read as a tone with nothing after it.
TEST(LoadMerger, TheRestOfAFooterAfterADropoutIsThatFootersNotALoad) {
    constexpr double rate = 10000.0;
    auto load = [&] {
        DecodedLoad l = decoded(Verdict::ok, 1000, 30000, data);
        l.sampleRate = rate;
        l.endSeconds = 3.0;
        l.footerSeconds = 0.05;
        return l;
    };
    // A tone from `after` seconds past the load's end, lasting `seconds`, at `speed`.
    auto tone = [&](double after, double seconds, double speed) {
        DecodedLoad t = decoded(Verdict::bad, 30000 + std::llround(after * rate),
                                30000 + std::llround((after + seconds) * rate));
        t.sampleRate = rate;
        t.toneOnly = true;
        t.speedRatio = speed;
        t.startSeconds = 3.0 + after;
        t.endSeconds = 3.0 + after + seconds;
        return t;
    };
    for (const bool toneFirst : {false, true}) {
        LoadMerger merger;
        if (toneFirst) {
            merger.offer(tone(0.03, 0.17, 1.02));
        }
        merger.offer(load());
        if (!toneFirst) {
            merger.offer(tone(0.03, 0.17, 1.02));
        }
        const std::vector<DecodedLoad> loads = merger.finish(60000, rate);
        ASSERT_EQ(loads.size(), 1u);
        EXPECT_NEAR(loads[0].footerSeconds, 0.25, 1e-9);
        EXPECT_EQ(loads[0].endSample, 32000);
        EXPECT_NEAR(loads[0].gapSeconds, 2.8, 1e-9);
    }
    // Too long after the footer (past 100 cycles, 64 ms at speed 1), too long for a footer,
    // or at another speed: a tone of its own.
    for (const DecodedLoad& other :
         {tone(0.07, 0.17, 1.0), tone(0.01, 0.3, 1.0), tone(0.01, 0.17, 1.1)}) {
        LoadMerger merger;
        merger.offer(load());
        merger.offer(DecodedLoad(other));
        EXPECT_EQ(merger.finish(60000, rate).size(), 2u);
    }
}

TEST(TakeMerger, OkTakeWinsOtherwiseEveryTakeIsWeighedBitByBit) {
    const LoadJudge judge(22050.0);
    // Three takes of one load, each with a different wrong bit that its cycle shows as
    // unclear, and each unsure of one data bit in every character (a bit of its own: takes with
    // hiss of their own doubt other bits; a copy of one recording would doubt the same).
    auto take = [&](std::size_t character, int bit, std::size_t unsure) {
        LoadCandidate candidate = reading(data);
        misread(candidate, character, bit, 30);
        for (FramedCharacter& c : candidate.framed.characters) {
            c.certainty[unsure] = 60;  // doubtful, but right
        }
        return judge.judge(candidate);
    };
    const DecodedLoad first = take(1, 2, 2);
    const DecodedLoad second = take(5, 7, 3);
    // Alone, no take is trusted (written as its likeliest change, it may still be right).
    ASSERT_EQ(first.verdict, Verdict::bad);
    const std::vector<DecodedLoad> merged = mergeTakes({{first}, {second}, {take(3, 4, 5)}});
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(merged[0].characters, data);
    ASSERT_EQ(merged[0].verdict, Verdict::repaired);
    EXPECT_LT(merged[0].wrongChance, repairTrusted);
    // Against the reading of the take the places are in, the weighing changed character 1.
    ASSERT_FALSE(merged[0].repairs.empty());
    EXPECT_EQ(merged[0].repairs[0].kind, Repair::Kind::vote);
    EXPECT_EQ(merged[0].repairs[0].take, merged[0].take);

    // A take that is OK on its own wins as it is.
    const DecodedLoad ok = judge.judge(reading(data));
    const std::vector<DecodedLoad> withOk = mergeTakes({{first}, {ok}});
    ASSERT_EQ(withOk.size(), 1u);
    EXPECT_EQ(withOk[0].verdict, Verdict::ok);
    EXPECT_EQ(withOk[0].take, 1);

    // Two takes that read the same wrong bit clearly cannot be weighed right.
    LoadCandidate wrong = reading(data);
    misread(wrong, 2, 3, 250);
    const std::vector<DecodedLoad> split = mergeTakes({{judge.judge(wrong)}, {judge.judge(wrong)}});
    ASSERT_EQ(split.size(), 1u);
    EXPECT_EQ(split[0].verdict, Verdict::bad);
    EXPECT_EQ(split[0].characters[2], data[2] ^ 0x08);
}

TEST(LoadJudge, SlippedFramingIsUnknownNeverRepairedEvenWithARightChecksum) {
    // The framer kept the framing by dropping a cycle in character 4: what that character
    // holds was not read, so no checksum can vouch for it.
    LoadCandidate candidate = reading(data);
    candidate.framed.characters[4].extraCycleDropped = true;
    const DecodedLoad load = LoadJudge(22050.0).judge(candidate);
    EXPECT_EQ(load.verdict, Verdict::bad);
    EXPECT_TRUE(load.repairs.empty());
    EXPECT_EQ(load.problemSample, 5400);
    ASSERT_EQ(load.doubts.size(), 1u);
    EXPECT_EQ(load.doubts[0].character, 4u);
    EXPECT_EQ(load.doubts[0].kind, CharacterDoubt::Kind::slipped);
}

TEST(TakeMerger, ATakeShiftedByALostCharacterGivesNoEvidenceFromThere) {
    // Forty characters; the second take lost a character after the tenth and read every later
    // one a place early, clearly.
    std::vector<std::uint8_t> longer;
    for (int i = 0; i < 39; ++i) {
        longer.push_back(static_cast<std::uint8_t>(i * 37 + 11));
    }
    unsigned sum = 0xA5;
    for (const std::uint8_t byte : longer) {
        sum += byte;
    }
    longer.push_back(static_cast<std::uint8_t>(0xFFu - (sum & 0xFFu)));
    LoadCandidate first = reading(longer);
    misread(first, 25, 3, 30);
    misread(first, 31, 6, 35);
    std::vector<std::uint8_t> shifted = longer;
    shifted.erase(shifted.begin() + 10);
    shifted.push_back(0x55);
    const LoadJudge judge(22050.0);
    const DecodedLoad a = judge.judge(first);
    const DecodedLoad b = judge.judge(reading(shifted));
    ASSERT_EQ(b.verdict, Verdict::bad);
    for (const auto& takes : {std::vector<std::vector<DecodedLoad>>{{a}, {b}},
                              std::vector<std::vector<DecodedLoad>>{{b}, {a}}}) {
        const std::vector<DecodedLoad> merged = mergeTakes(takes);
        ASSERT_EQ(merged.size(), 1u);
        EXPECT_NE(merged[0].verdict, Verdict::ok);
        if (merged[0].verdict == Verdict::repaired) {
            EXPECT_EQ(merged[0].characters, longer);
        }
        // Past the shift the first take's clear characters stand.
        EXPECT_EQ(merged[0].characters[20], longer[20]);
        EXPECT_EQ(merged[0].characters[38], longer[38]);
    }
}

// A reading of these characters in which a dropout took `lost` from `at` on, and whose stretch
// fits fewest to most: kept as that many unknown characters, the rest read on after them.
FramedLoad withLongDropout(const std::vector<std::uint8_t>& truth, std::size_t at, std::size_t lost,
                           std::size_t kept, std::size_t fewest, std::size_t most) {
    FramedLoad load = reading(truth).framed;
    auto& characters = load.characters;
    FramedCharacter unknown = characters[at];
    unknown.value = 0;
    unknown.signalLost = true;
    unknown.extraCycleDropped = true;
    characters.erase(characters.begin() + static_cast<long>(at),
                     characters.begin() + static_cast<long>(at + lost));
    characters.insert(characters.begin() + static_cast<long>(at), kept, unknown);
    load.uncounted.push_back(UncountedDropout{at, kept, fewest, most});
    return load;
}

void expectSettled(const FramedLoad& load, const std::vector<std::uint8_t>& truth, std::size_t at,
                   std::size_t lost) {
    EXPECT_TRUE(load.uncounted.empty());
    ASSERT_EQ(load.characters.size(), truth.size());
    for (std::size_t i = 0; i < truth.size(); ++i) {
        const bool under = i >= at && i < at + lost;
        EXPECT_EQ(load.characters[i].signalLost, under) << i;
        if (!under) {
            EXPECT_EQ(load.characters[i].value, truth[i]) << i;
        }
    }
}

TEST(UncountedDropouts, AnotherTakeSettlesHowManyCharactersALongDropoutTook) {
    std::vector<std::uint8_t> truth;
    for (int i = 0; i < 60; ++i) {
        truth.push_back(static_cast<std::uint8_t>(i * 37 + 11));
    }
    const FramedLoad clean = reading(truth).framed;
    // Five characters lost from 20 on, kept as four, five or six: the clean take settles it,
    // and a slip read after the dropout moves with its character.
    for (const std::size_t kept : {4u, 5u, 6u}) {
        SCOPED_TRACE(kept);
        FramedLoad broken = withLongDropout(truth, 20, 5, kept, 3, 8);
        broken.slips.push_back(SlipReading{40 - 5 + kept, {0x12}, {}, 0.0});
        std::vector<FramedLoad> readings = {broken, clean};
        EXPECT_EQ(UncountedDropouts::settle(readings), (std::vector<bool>{true, true}));
        expectSettled(readings[0], truth, 20, 5);
        ASSERT_EQ(readings[0].slips.size(), 1u);
        EXPECT_EQ(readings[0].slips[0].character, 40u);
        EXPECT_EQ(readings[1].characters.size(), truth.size());
    }
    // Two takes, each with a long dropout of its own: each settles the other, whichever
    // comes first.
    std::vector<FramedLoad> both = {withLongDropout(truth, 12, 4, 5, 3, 6),
                                    withLongDropout(truth, 35, 6, 5, 4, 9)};
    EXPECT_EQ(UncountedDropouts::settle(both), (std::vector<bool>{true, true}));
    expectSettled(both[0], truth, 12, 4);
    expectSettled(both[1], truth, 35, 6);

    // Nothing settles it: no other take; the same dropout in both; data that reads the same
    // at every count; too few characters after it; a whole take of another length.
    std::vector<FramedLoad> alone = {withLongDropout(truth, 20, 5, 4, 3, 8)};
    EXPECT_EQ(UncountedDropouts::settle(alone), std::vector<bool>{false});
    EXPECT_EQ(alone[0].characters.size(), truth.size() - 1);
    std::vector<FramedLoad> samePlace = {withLongDropout(truth, 20, 5, 4, 3, 8),
                                         withLongDropout(truth, 20, 5, 6, 3, 8)};
    EXPECT_EQ(UncountedDropouts::settle(samePlace), (std::vector<bool>{false, false}));
    // (The other take broke off before its footer here, so its length says nothing.)
    const std::vector<std::uint8_t> blank(60, 0x00);
    FramedLoad blankCut = reading(blank).framed;
    blankCut.complete = false;
    std::vector<FramedLoad> alike = {withLongDropout(blank, 20, 5, 4, 3, 8), blankCut};
    EXPECT_EQ(UncountedDropouts::settle(alike), (std::vector<bool>{false, true}));
    std::vector<FramedLoad> nearEnd = {withLongDropout(truth, 45, 5, 4, 3, 8), clean};
    EXPECT_EQ(UncountedDropouts::settle(nearEnd), (std::vector<bool>{false, true}));
    std::vector<std::uint8_t> longer = truth;
    longer.push_back(0x99);
    std::vector<FramedLoad> otherLength = {withLongDropout(truth, 20, 5, 4, 3, 8),
                                           reading(longer).framed};
    EXPECT_EQ(UncountedDropouts::settle(otherLength), (std::vector<bool>{false, true}));
}

// A load of an odd count ends with a filler, a 1 for its start bit, as the second of its last
// pair. Kept one character too many, the dropout made the framer take the filler for the
// first of a pair: a character 00 whose start bit read 1, then the footer's first cycles as
// the filler. The checksum cannot see an extra 00; counted right, that character is the
// filler again. (Two takes once gave such a load REPAIRED, one character too long.)
TEST(UncountedDropouts, ACountChangedByOneGivesTheFillerBack) {
    std::vector<std::uint8_t> truth;
    for (int i = 0; i < 59; ++i) {
        truth.push_back(static_cast<std::uint8_t>(i * 37 + 11));
    }
    FramedLoad broken = withLongDropout(truth, 20, 5, 6, 3, 8);
    FramedCharacter filler = broken.characters.back();
    filler.value = 0x00;
    filler.startMisread = true;
    filler.certainty[3] = 40;  // the filler's data bit 2
    broken.characters.push_back(filler);
    broken.hasFiller = true;
    broken.filler = 0xFF;
    FramedLoad cut = reading(truth).framed;
    cut.characters.resize(45);
    cut.complete = false;
    std::vector<FramedLoad> readings = {broken, cut};
    EXPECT_EQ(UncountedDropouts::settle(readings), (std::vector<bool>{true, true}));
    expectSettled(readings[0], truth, 20, 5);
    EXPECT_TRUE(readings[0].hasFiller);
    EXPECT_EQ(readings[0].filler, 0x00);
    EXPECT_EQ(readings[0].fillerCertainty[2], 40);  // its certainties came with it
    EXPECT_EQ(readings[0].fillerStart, filler.start);

    // An even count has no filler: what the framer took for one was the footer's.
    truth.push_back(0x5A);
    broken = withLongDropout(truth, 20, 5, 6, 3, 8);
    broken.hasFiller = true;
    readings = {broken, cut};
    EXPECT_EQ(UncountedDropouts::settle(readings), (std::vector<bool>{true, true}));
    expectSettled(readings[0], truth, 20, 5);
    EXPECT_FALSE(readings[0].hasFiller);
}

// The signal lost over one character: the checksum gives its value, taken when the stretch
// lost lasted as long as that value does; over two, both stay unknown.
TEST(LoadJudge, ACharacterTheSignalWasLostOverTakesTheChecksumsValueOnlyWhenItsLengthFits) {
    auto lostAt = [](std::size_t at, float halves) {
        LoadCandidate candidate = reading(data);
        FramedCharacter& c = candidate.framed.characters[at];
        c.value = 0;
        c.certainty.fill(0);
        c.extraCycleDropped = true;
        c.signalLost = true;
        c.lostHalves = halves;
        return candidate;
    };
    const LoadJudge judge(22050.0);
    // 0x40 has one 1 bit: 12 half units with its start and stop bits.
    const DecodedLoad fits = judge.judge(lostAt(3, 12.4f));
    EXPECT_EQ(fits.verdict, Verdict::repaired);
    EXPECT_EQ(fits.characters, data);
    ASSERT_EQ(fits.repairs.size(), 1u);
    EXPECT_EQ(fits.repairs[0].kind, Repair::Kind::lost);
    EXPECT_EQ(fits.repairs[0].character, 3u);
    EXPECT_EQ(fits.repairs[0].after, 0x40);
    EXPECT_TRUE(fits.doubts.empty());
    EXPECT_LT(fits.wrongChance, 1e-3);

    const DecodedLoad longer = judge.judge(lostAt(3, 13.0f));
    EXPECT_EQ(longer.verdict, Verdict::bad);
    EXPECT_EQ(longer.problem,
              "the signal was lost over character 3 (a dropout), and the value that makes the "
              "checksum right (40) does not last as long as the signal was lost");
    EXPECT_EQ(longer.problemSample, 5300);

    LoadCandidate two = lostAt(3, 0.0f);
    two.framed.characters[4] = two.framed.characters[3];
    two.framed.characters[4].start = 5400.0;
    const DecodedLoad both = judge.judge(two);
    EXPECT_EQ(both.verdict, Verdict::bad);
    EXPECT_EQ(both.problem,
              "the signal was lost over characters 3 to 4 (a dropout), so their values are "
              "unknown");
    ASSERT_EQ(both.doubts.size(), 2u);
    EXPECT_EQ(both.doubts[1].kind, CharacterDoubt::Kind::lost);

    // A doubtful bit elsewhere would change the value the checksum gives: not sure enough.
    LoadCandidate unsure = lostAt(3, 12.0f);
    unsure.framed.characters[6].certainty[3] = 20;
    EXPECT_EQ(judge.judge(unsure).verdict, Verdict::bad);
}

// A character lasts 11 half units and one more per 1 bit. At 7.7 frames a half unit (a tape
// 10 % slow): 0x00 lasts 84.7 frames, 0x0F 115.5, 0x01 92.4, 0xFF 146.3.
TEST(CharacterLength, AValueIsMeasuredAtTheSpeedOfTheCleanCharactersBesideIt) {
    constexpr double unit = 7.7;
    FramedLoad framed;
    for (const std::uint8_t value : {0x00, 0xFF, 0x0F, 0x01, 0x80}) {
        FramedCharacter c;
        c.value = value;
        framed.characters.push_back(c);
    }
    auto& c = framed.characters;
    c[0].length = static_cast<float>(11 * unit);
    c[1].length = static_cast<float>(30 * unit);  // slipped, and no measure of the speed
    c[1].extraCycleDropped = true;
    c[2].length = static_cast<float>(15.3 * unit);  // 0.3 half unit longer than 0x0F
    c[3].length = static_cast<float>(12 * unit);
    // Character 2 against 0 (1 is skipped) and 3.
    EXPECT_NEAR(lengthMisfit(framed, 2, 0x0F), 0.3, 1e-5);
    EXPECT_NEAR(lengthMisfit(framed, 2, 0x1F), -0.7, 1e-5);
    EXPECT_NEAR(lengthMisfit(framed, 2, 0x07), 1.3, 1e-5);
    // Character 1 against 0 and 2: 30 / ((1 + 15.3 / 15) / 2) - 19.
    EXPECT_NEAR(lengthMisfit(framed, 1, 0xFF), 30.0 / ((1.0 + 15.3 / 15.0) / 2.0) - 19.0, 1e-4);
    // Character 3 against 2 alone (4 was never measured), and 4 cannot be measured.
    EXPECT_NEAR(lengthMisfit(framed, 3, 0x01), 12.0 / (15.3 / 15.0) - 12.0, 1e-4);
    EXPECT_TRUE(std::isnan(lengthMisfit(framed, 4, 0x80)));
    EXPECT_TRUE(std::isnan(lengthMisfit(framed, 5, 0x80)));
    // Nothing clean beside it within four characters: not measured.
    FramedLoad lone;
    lone.characters.assign(6, c[0]);
    for (std::size_t i = 1; i < 6; ++i) {
        lone.characters[i].stopBad = true;
    }
    EXPECT_TRUE(std::isnan(lengthMisfit(lone, 5, 0x00)));
    EXPECT_NEAR(lengthMisfit(lone, 4, 0x00), 0.0, 1e-5);
    // The typical misfit is the median distance over the clean characters: 0 (against 2's
    // speed alone: 11 - 11 / (15.3 / 15)), 2 (0.3) and 3 (12 - 12 / (15.3 / 15)).
    EXPECT_NEAR(typicalMisfit(framed), 12.0 - 12.0 / (15.3 / 15.0), 1e-5);
    EXPECT_TRUE(std::isnan(typicalMisfit(FramedLoad{})));
}
