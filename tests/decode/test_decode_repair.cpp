// The checksum judge and its repairs, the choice among readings of one load, and the
// merge of several takes: right checksums are kept, doubtful bits repaired only when that
// makes the checksum right, and a load that cannot be made right stays BAD.
#include <gtest/gtest.h>

#include "decode/load_judge.h"
#include "decode/load_merger.h"
#include "decode/take_merger.h"

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
    candidate.framed.end = 6000.0;
    return candidate;
}

// Flips a data bit of a character and gives that decision a certainty.
void misread(LoadCandidate& candidate, std::size_t character, int bit, std::uint8_t certainty) {
    FramedCharacter& c = candidate.framed.characters[character];
    c.value = static_cast<std::uint8_t>(c.value ^ (1u << bit));
    c.certainty[static_cast<std::size_t>(bit) + 1] = certainty;
}

DecodedLoad decoded(Verdict verdict, std::int64_t start, std::int64_t end,
                    std::vector<std::uint8_t> characters = {}) {
    DecodedLoad load;
    load.verdict = verdict;
    load.startSample = start;
    load.endSample = end;
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

TEST(TakeMerger, RightChecksumWinsOtherwiseCharactersByVote) {
    std::vector<std::uint8_t> first = data;
    first[1] ^= 0x04;
    std::vector<std::uint8_t> second = data;
    second[5] ^= 0x80;
    const std::vector<std::vector<DecodedLoad>> takes = {
        {decoded(Verdict::bad, 0, 10, first), decoded(Verdict::bad, 20, 30, first)},
        {decoded(Verdict::ok, 0, 10, data), decoded(Verdict::bad, 20, 30, second)},
        {decoded(Verdict::bad, 0, 10, second), decoded(Verdict::bad, 20, 30, data)},
    };
    const std::vector<DecodedLoad> merged = mergeTakes(takes);
    ASSERT_EQ(merged.size(), 2u);
    EXPECT_EQ(merged[0].verdict, Verdict::ok);
    EXPECT_EQ(merged[0].characters, data);
    // Each wrong character is outvoted by the two takes that agree.
    EXPECT_EQ(merged[1].verdict, Verdict::repaired);
    EXPECT_EQ(merged[1].characters, data);
    ASSERT_EQ(merged[1].repairs.size(), 1u);
    EXPECT_EQ(merged[1].repairs[0].character, 1u);
    EXPECT_EQ(merged[1].repairs[0].kind, Repair::Kind::vote);

    // Two takes that disagree everywhere cannot be voted right.
    const std::vector<DecodedLoad> split =
        mergeTakes({{decoded(Verdict::bad, 0, 10, first)}, {decoded(Verdict::bad, 0, 10, first)}});
    EXPECT_EQ(split[0].verdict, Verdict::bad);
    EXPECT_EQ(split[0].characters, first);
}

TEST(LoadJudge, FramingPutRightIsARepairEvenWithARightChecksum) {
    LoadCandidate candidate = reading(data);
    candidate.framed.characters[4].extraCycleDropped = true;
    const DecodedLoad load = LoadJudge(22050.0).judge(candidate);
    EXPECT_EQ(load.verdict, Verdict::repaired);
    ASSERT_EQ(load.repairs.size(), 1u);
    EXPECT_EQ(load.repairs[0].kind, Repair::Kind::extraCycle);
    EXPECT_EQ(load.repairs[0].character, 4u);
    ASSERT_EQ(load.doubts.size(), 1u);
    EXPECT_EQ(load.doubts[0].character, 4u);
}
