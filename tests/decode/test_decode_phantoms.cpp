// SPDX-License-Identifier: MIT
// Sounds that are not loads must give no load (echoes printed through, music, noise in the
// gaps), while a real tone with nothing after it, a save cut short and a reading that never
// ends are still reported, BAD, where they happened.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <numbers>
#include <random>

#include "base/machine.h"
#include "decode/take_merger.h"
#include "tests/decode/degradations.h"
#include "tests/decode/tape_maker.h"

using namespace decode_testing;
using kelvanto::decode::DecodedLoad;
using kelvanto::decode::mergeTakes;
using kelvanto::decode::Verdict;

namespace {

const std::vector<TestLoad>& loads() {
    static const std::vector<TestLoad> value = threeFormats();
    return value;
}

const Recording& clean() {
    static const Recording value = render(loads(), 22050, 16, 1);
    return value;
}

void appendSilence(Recording& r, double seconds) {
    r.samples.insert(r.samples.end(), static_cast<std::size_t>(seconds * r.rate), 0.0f);
}

// Square-wave cycles as the machine sends them on the 22050 grid: a 1 is 7 frames low and
// 7 high, a 0 is 3 low, 1 in the middle and 3 high.
void appendBit(Recording& r, int bit, float level = 0.5f) {
    const int half = bit ? 7 : 3;
    r.samples.insert(r.samples.end(), static_cast<std::size_t>(half), -level);
    if (!bit) {
        r.samples.push_back(0.0f);
    }
    r.samples.insert(r.samples.end(), static_cast<std::size_t>(half), level);
}

void appendTone(Recording& r, double seconds) {
    for (int i = 0; i < static_cast<int>(seconds * 1575); ++i) {
        appendBit(r, 1);
    }
}

void appendCharacter(Recording& r, unsigned value) {
    appendBit(r, 0);
    for (int b = 0; b < 8; ++b) {
        appendBit(r, static_cast<int>((value >> b) & 1u));
    }
    appendBit(r, 1);
}

void appendSync(Recording& r) {
    for (const int b : {0, 1, 0, 1, 0, 0, 1, 0, 1, 1}) {
        appendBit(r, b);
    }
}

// A recording at 22050 Hz: silence, then half a second of header tone.
Recording silenceAndTone() {
    Recording r;
    r.rate = 22050;
    appendSilence(r, 0.3);
    appendTone(r, 0.5);
    return r;
}

// The sync character, the characters, the checksum that makes the load right, a footer and
// silence.
void appendLoadAfterTone(Recording& r, const std::vector<std::uint8_t>& characters) {
    unsigned sum = machine::syncCharacter;
    appendCharacter(r, machine::syncCharacter);
    for (const std::uint8_t byte : characters) {
        appendCharacter(r, byte);
        sum += byte;
    }
    appendCharacter(r, machine::checkSumCompleting(static_cast<std::uint8_t>(sum)));
    appendTone(r, 0.25);
    appendSilence(r, 0.3);
}

std::string describe(const std::vector<DecodedLoad>& got) {
    std::string out;
    for (const DecodedLoad& load : got) {
        out += std::string(verdictName(load.verdict)) + " at " + std::to_string(load.startSeconds) +
               " s (" + std::to_string(load.characters.size()) + " characters, " +
               std::to_string(load.levelDbfs) + " dBFS): " + load.problem + "\n";
    }
    return out;
}

// Sines of these frequencies together, each note this long, at this level.
void appendChord(Recording& r, const std::vector<double>& hz, double seconds, double level) {
    for (int i = 0; i < static_cast<int>(seconds * r.rate); ++i) {
        double x = 0;
        for (const double f : hz) {
            x += std::sin(2 * std::numbers::pi * f * i / r.rate) / static_cast<double>(hz.size());
        }
        r.samples.push_back(static_cast<float>(level * x));
    }
}

}  // namespace

TEST(Phantoms, EchoesPrintedThroughFromTheNextTurnsGiveNoLoad) {
    // The tape 1.2 s before and after itself at -30 dB, as the layers of a reel print onto
    // each other, with long gaps so that each echo stands alone in silence.
    Recording spaced = clean();
    appendSilence(spaced, 1.5);
    Recording r;
    r.rate = spaced.rate;
    appendSilence(r, 1.5);
    r.samples.insert(r.samples.end(), spaced.samples.begin(), spaced.samples.end());
    appendSilence(r, 1.5);
    const auto shift = static_cast<std::size_t>(1.2 * r.rate);
    const Recording original = r;
    const float echo = static_cast<float>(std::pow(10.0, -30.0 / 20.0));
    for (std::size_t i = 0; i < r.samples.size(); ++i) {
        const float before = i + shift < original.samples.size() ? original.samples[i + shift] : 0;
        const float after = i >= shift ? original.samples[i - shift] : 0;
        r.samples[i] += echo * (before + after);
    }
    const std::vector<DecodedLoad> got = decode(r);
    EXPECT_EQ(exactLoads(got, loads()), 3) << describe(got);
}

TEST(Phantoms, MusicNoiseInGapsAndCodecLikeTailsGiveNoLoad) {
    // Chords and a melody crossing the tape's tones, hiss in the gap after the tape, and
    // the ringing tail a codec leaves after the last tone (a decaying 1575 Hz sine).
    Recording r = clean();
    const Recording tape = r;
    r.samples.clear();
    appendChord(r, {523.3, 659.3, 784.0}, 0.5, 0.5);
    appendChord(r, {1568.0, 1975.5}, 0.4, 0.6);
    for (const double note : {1046.5, 1174.7, 1318.5, 1568.0, 1760.0, 2093.0, 3136.0}) {
        appendChord(r, {note}, 0.12, 0.5);
    }
    r.samples.insert(r.samples.end(), tape.samples.begin(), tape.samples.end());
    std::mt19937 random(5);
    std::normal_distribution<float> hiss(0.0f, 0.01f);
    for (int i = 0; i < r.rate; ++i) {
        r.samples.push_back(hiss(random));
    }
    for (int i = 0; i < r.rate / 20; ++i) {
        r.samples.push_back(static_cast<float>(0.05 * std::exp(-i / 200.0) *
                                               std::sin(2 * std::numbers::pi * 1575 * i / r.rate)));
    }
    appendChord(r, {1575.0 * 0.6, 1575.0 * 1.2, 1575.0 * 2.0}, 0.6, 0.5);
    const std::vector<DecodedLoad> got = decode(r);
    EXPECT_EQ(exactLoads(got, loads()), 3) << describe(got);
}

TEST(Phantoms, DataAfterAHeaderNeverBuildsATone) {
    // Random data without a header of its own, as after a dropout that ended a reading:
    // 0s and 1s mixed are no header tone, so nothing is found in it.
    Recording r;
    r.rate = 22050;
    std::mt19937 random(8);
    for (int i = 0; i < 400; ++i) {
        appendCharacter(r, random() & 0xFFu);
    }
    const std::vector<DecodedLoad> got = decode(r);
    EXPECT_TRUE(got.empty()) << describe(got);
}

TEST(Phantoms, ARunOfFFBytesIsNoToneAndTheA5AfterItNoSyncCharacter) {
    // The tail of a load whose tone and sync character a dropout took: 0xFF bytes are a 0
    // and nine 1s over and over, and the 0xA5 among them frames like a sync character. With
    // a checksum that fits from there on, that tail once read as a load of its own, OK.
    // Whether the 0xA5 falls where a sync character is looked for depends on the length of
    // the run (it did for 104, 132 and 138 bytes, with a period of 40): a period is tried.
    const std::vector<std::uint8_t> tail = randomBytes(50, 4);
    // The run starts after silence, or straight after the load's tone (the sync lost).
    for (int run = 100; run < 180; ++run) {
        Recording r;
        r.rate = 22050;
        appendSilence(r, 0.3);
        appendTone(r, run < 140 ? 0.0 : 0.5);
        for (int i = 0; i < run - (run < 140 ? 0 : 40); ++i) {
            appendCharacter(r, 0xFF);
        }
        appendLoadAfterTone(r, tail);
        const std::vector<DecodedLoad> got = decode(r);
        for (const DecodedLoad& load : got) {
            EXPECT_EQ(load.verdict, Verdict::bad) << run << " bytes: " << describe(got);
        }
    }
}

TEST(RealButBroken, AToneWhoseCycleHissCutShortACharacterBeforeTheSyncKeepsItsLoad) {
    // Near the end of the header a lost edge (a cycle of two) and a cut one (a short cycle,
    // as a 0) come nine 1s before the sync character: one 0 a character before another is
    // no run of data, and the load is read.
    const std::vector<std::uint8_t> data = randomBytes(20, 9);
    Recording r = silenceAndTone();
    r.samples.insert(r.samples.end(), 14, -0.5f);
    r.samples.insert(r.samples.end(), 14, 0.5f);
    appendBit(r, 0);
    for (int i = 0; i < machine::cyclesPerCharacter - 1; ++i) {
        appendBit(r, 1);
    }
    appendLoadAfterTone(r, data);
    const std::vector<DecodedLoad> got = decode(r);
    ASSERT_EQ(got.size(), 1u) << describe(got);
    EXPECT_EQ(got[0].verdict, Verdict::ok) << describe(got);
    EXPECT_EQ(got[0].characters.size(), data.size() + 1);
}

TEST(RealButBroken, ALoadSavedFarQuieterIsKeptUnlessItEchoesALouderOne) {
    // A second load saved 30 dB quieter (another machine, the volume turned down) is a load;
    // the level gate is for echoes, and an echo holds a louder load's characters.
    const std::vector<TestLoad> both = {binaryLoadWithRightChecksum(100, 21),
                                        binaryLoadWithRightChecksum(100, 22)};
    // A quiet reading the checksum does not vouch for (here cut off) is still left out.
    for (const int kind : {0, 1, 2}) {
        const bool echo = kind == 1;
        Recording r = render({both[0]}, 22050, 16, 1);
        Recording quiet = render({both[echo ? 0 : 1]}, 22050, 16, 1);
        for (float& x : quiet.samples) {
            x *= static_cast<float>(std::pow(10.0, -30.0 / 20.0));
        }
        quiet.samples.resize(kind == 2 ? quiet.samples.size() * 2 / 3 : quiet.samples.size());
        r.samples.insert(r.samples.end(), quiet.samples.begin(), quiet.samples.end());
        const std::vector<DecodedLoad> got = decode(r);
        if (kind != 0) {
            ASSERT_EQ(got.size(), 1u) << describe(got);
            EXPECT_EQ(exactLoads(got, {both[0]}), 1);
        } else {
            EXPECT_EQ(exactLoads(got, both), 2) << describe(got);
        }
    }
}

TEST(RealButBroken, AToneWithNothingAfterItIsReportedBad) {
    for (const double after : {0.0, 1.0}) {
        Recording r;
        r.rate = 22050;
        appendSilence(r, 0.3);
        appendTone(r, 1.0);
        // Then silence, or hiss at a fifth of the level.
        std::mt19937 random(3);
        std::normal_distribution<float> hiss(0.0f, 0.1f);
        for (int i = 0; i < static_cast<int>(after * r.rate); ++i) {
            r.samples.push_back(hiss(random));
        }
        appendSilence(r, 0.5);
        const std::vector<DecodedLoad> got = decode(r);
        ASSERT_EQ(got.size(), 1u) << describe(got);
        EXPECT_TRUE(got[0].characters.empty()) << describe(got);
        EXPECT_EQ(got[0].verdict, Verdict::bad);
        EXPECT_TRUE(got[0].characters.empty());
        EXPECT_FALSE(got[0].problem.empty());
        EXPECT_NEAR(got[0].startSeconds, 0.3, 0.01);
        // Hiss that passes for tone cycles may lengthen it, never shorten it.
        EXPECT_GE(got[0].headerSeconds, 0.95);
        EXPECT_LE(got[0].headerSeconds, 1.05 + after);
    }
}

TEST(RealButBroken, ALoneToneOfASlowTapeIsReportedWhereItsLoadsRunAsSlow) {
    // A tone with nothing after it, then a tape, all played at 0.6 of the speed: below a
    // plain machine's speeds, where a steady note alone is taken for music, but the tape's
    // loads run as slow, so the tone is the remains of one of them.
    Recording r;
    r.rate = 22050;
    appendSilence(r, 0.3);
    appendTone(r, 1.0);
    appendSilence(r, 0.5);
    const Recording tone = r;
    r.samples.insert(r.samples.end(), clean().samples.begin(), clean().samples.end());
    const std::vector<DecodedLoad> got = decode(speed(r, 0.6));
    ASSERT_EQ(got.size(), loads().size() + 1) << describe(got);
    EXPECT_EQ(got[0].verdict, Verdict::bad);
    EXPECT_TRUE(got[0].characters.empty());
    EXPECT_NEAR(got[0].startSeconds, 0.5, 0.02);
    EXPECT_EQ(exactLoads({got.begin() + 1, got.end()}, loads()), 3) << describe(got);
    // The tone alone at that speed, and at 1.6 times, is no load; nor is one no longer than
    // a footer, as a load that broke off leaves behind it, beside the loads.
    EXPECT_TRUE(decode(speed(tone, 0.6)).empty());
    EXPECT_TRUE(decode(speed(tone, 1.6)).empty());
    Recording shortTone;
    shortTone.rate = 22050;
    appendSilence(shortTone, 0.3);
    appendTone(shortTone, 0.3);
    appendSilence(shortTone, 0.5);
    shortTone.samples.insert(shortTone.samples.end(), clean().samples.begin(),
                             clean().samples.end());
    EXPECT_EQ(decode(speed(shortTone, 0.6)).size(), loads().size());
}

TEST(RealButBroken, ALoadWithoutAGapWhoseSyncWasLostIsReported) {
    // The second load's footer runs straight into the third load's header; a dropout takes
    // the third load's sync character, and the run of 1s would pass for one long footer,
    // the third load's data for noise after it. The data right after the run tells: the
    // header's part is reported, BAD.
    std::vector<TestLoad> tape = loads();
    tape[2].header = 1.0;
    const Recording whole = render(tape, 22050, 16, 1);
    const std::vector<DecodedLoad> where = decode(whole);
    ASSERT_EQ(where.size(), 3u);
    Recording r = whole;
    dropout(r, where[2].syncSeconds - 0.005, 0.03);
    const std::vector<DecodedLoad> got = decode(r);
    ASSERT_EQ(got.size(), 3u) << describe(got);
    EXPECT_EQ(exactLoads({got.begin(), got.begin() + 2}, {tape.begin(), tape.begin() + 2}), 2);
    EXPECT_EQ(got[2].verdict, Verdict::bad);
    EXPECT_TRUE(got[2].characters.empty());
    EXPECT_GT(got[2].startSeconds, where[1].endSeconds - 0.01);
    EXPECT_LT(got[2].startSeconds, where[2].startSeconds + 0.3);

    // A long footer followed by silence, or by the next load's header, is a footer only.
    tape[1].footer = 1.0;
    tape[1].gap = 0.3;
    const std::vector<DecodedLoad> longFooter = decode(render(tape, 22050, 16, 1));
    EXPECT_EQ(exactLoads(longFooter, tape), 3) << describe(longFooter);
    EXPECT_NEAR(longFooter[1].footerSeconds, 1.0, 0.05);
    tape[1].gap = 0.0;
    EXPECT_EQ(exactLoads(decode(render(tape, 22050, 16, 1)), tape), 3);
}

TEST(RealButBroken, ASaveCutOffByTheHeaderOfItsReSaveIsReported) {
    // The first save stops part way through its data and the same load is saved again
    // right there: the cut load is BAD with what was read of it, the re-save exact.
    TestLoad load;
    load.format = 1;
    load.data = randomBytes(200, 31);
    load.header = 0.5;
    const Recording whole = render({load}, 22050, 16, 1);
    for (const double cut : {0.61, 0.8, 0.95}) {
        Recording r;
        r.rate = whole.rate;
        r.samples.assign(whole.samples.begin(),
                         whole.samples.begin() + static_cast<long>(cut * whole.rate));
        r.samples.insert(r.samples.end(), whole.samples.begin(), whole.samples.end());
        const std::vector<DecodedLoad> got = decode(r);
        ASSERT_EQ(got.size(), 2u) << "cut at " << cut << " s\n" << describe(got);
        EXPECT_EQ(got[0].verdict, Verdict::bad);
        EXPECT_NEAR(got[0].startSeconds, 0.0, 0.01);
        // What was read before the cut is the start of the load.
        const Expected want = expectedOf(load);
        ASSERT_GE(got[0].characters.size(), 2u);
        EXPECT_EQ(got[0].characters[0], want.characters[0]);
        EXPECT_EQ(got[0].characters[1], want.characters[1]);
        EXPECT_NE(got[1].verdict, Verdict::bad);
        EXPECT_EQ(got[1].characters, want.characters);
    }
}

TEST(RealButBroken, AReadingThatNeverEndsStopsAtTheLongestLoad) {
    // A header, the sync character and then framed characters far beyond any load.
    Recording r;
    r.rate = 22050;
    appendTone(r, 0.5);
    appendSync(r);
    std::mt19937 random(12);
    std::vector<std::uint8_t> sent;
    for (int i = 0; i < 8300; ++i) {
        sent.push_back(static_cast<std::uint8_t>(random() & 0xFEu));  // never a filler-like 0xFF
        appendCharacter(r, sent.back());
    }
    const std::vector<DecodedLoad> got = decode(r);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0].verdict, Verdict::bad);
    EXPECT_NE(got[0].problem.find("longest load"), std::string::npos) << got[0].problem;
    // A plain load of the machine's 8192 bytes sends its bytes and the checksum.
    ASSERT_EQ(got[0].characters.size(), 8193u);
    EXPECT_TRUE(std::equal(got[0].characters.begin(), got[0].characters.end(), sent.begin()));
}

TEST(RealButBroken, AReadingOfGuessesStopsEarly) {
    // Read in the wrong polarity alone, every change between 0 and 1 is a cycle of three
    // quarters of a unit: such a reading must end soon (BAD), not run on through the load.
    TestLoad load;
    load.format = 1;
    load.data = randomBytes(300, 41);
    Recording r = render({load}, 22050, 16, 1);
    scale(r, -1.0);
    kelvanto::decode::DecoderOptions options;
    options.bothPolarities = false;
    const std::vector<DecodedLoad> got = decode(r, options);
    for (const DecodedLoad& found : got) {
        EXPECT_EQ(found.verdict, Verdict::bad) << describe(got);
        EXPECT_LT(found.characters.size(), 30u) << describe(got);
    }
}

TEST(RealButBroken, ADropoutJustBeforeTheSyncCharacterKeepsItsLoad) {
    // The header tone stops for 10 ms and comes back for a few cycles before the sync
    // character: too few to count as a piece of tone of their own, enough to open the sync.
    const std::vector<std::uint8_t> data = randomBytes(30, 12);
    for (const int back : {8, 12, 20}) {
        Recording r = silenceAndTone();
        appendSilence(r, 0.01);
        for (int i = 0; i < back; ++i) {
            appendBit(r, 1);
        }
        appendLoadAfterTone(r, data);
        const std::vector<DecodedLoad> got = decode(r);
        ASSERT_EQ(got.size(), 1u) << back << ": " << describe(got);
        EXPECT_EQ(got[0].verdict, Verdict::ok) << back << ": " << describe(got);
        EXPECT_EQ(got[0].characters.size(), data.size() + 1);
    }
}

// A dip deep enough to break every cycle of the sync character (and perhaps of the tone's
// last cycles and the characters after it) leaves the data readable: the load is read from
// where its framing picks up, the characters lost kept as unknown, never reported as a
// header tone with nothing after it. Here the broken cycles all read as 0s, each a half unit.
TEST(RealButBroken, ADipThatBreaksTheSyncCharacterKeepsTheDataAfterIt) {
    const std::vector<std::uint8_t> data = randomBytes(40, 14);
    unsigned sum = machine::syncCharacter;
    for (const std::uint8_t byte : data) {
        sum += byte;
    }
    std::vector<std::uint8_t> sent = data;
    sent.push_back(machine::checkSumCompleting(static_cast<std::uint8_t>(sum)));
    // The tone's last toneCycles and the first characters cycles (the sync character first)
    // broken.
    auto broken = [&](int toneCycles, std::size_t characters) {
        Recording r;
        r.rate = 22050;
        appendSilence(r, 0.3);
        appendTone(r, 0.5);
        r.samples.resize(r.samples.size() - static_cast<std::size_t>(toneCycles) * 14);
        int halves = 2 * toneCycles + 15;
        for (std::size_t c = 0; c + 1 < characters; ++c) {
            halves += 11 + std::popcount(sent[c]);
        }
        for (int i = 0; i < halves; ++i) {
            appendBit(r, 0);
        }
        for (std::size_t c = characters > 0 ? characters - 1 : 0; c < sent.size(); ++c) {
            appendCharacter(r, sent[c]);
        }
        appendTone(r, 0.25);
        appendSilence(r, 0.3);
        return decode(r);
    };
    // The tone seems to end two cycles early; only the sync character is lost.
    std::vector<DecodedLoad> got = broken(2, 1);
    ASSERT_EQ(got.size(), 1u) << describe(got);
    EXPECT_EQ(got[0].verdict, Verdict::ok) << describe(got);
    EXPECT_EQ(got[0].characters, sent);
    // The sync character and the first character: where the tone ended is not known, so
    // the stretch does not measure that character, and the checksum alone does not settle it.
    got = broken(0, 2);
    ASSERT_EQ(got.size(), 1u) << describe(got);
    EXPECT_EQ(got[0].verdict, Verdict::bad) << describe(got);
    EXPECT_EQ(got[0].problem.rfind(
                  "the signal was lost over character 0 (a dropout), so its value is unknown", 0),
              0u)
        << describe(got);
    ASSERT_EQ(got[0].characters.size(), sent.size());
    EXPECT_TRUE(std::equal(sent.begin() + 1, sent.end(), got[0].characters.begin() + 1));
    // The sync character and the first two characters: those two are unknown, the rest read.
    got = broken(0, 3);
    ASSERT_EQ(got.size(), 1u) << describe(got);
    EXPECT_EQ(got[0].verdict, Verdict::bad) << describe(got);
    EXPECT_NE(got[0].problem.find("lost over characters 0 to 1"), std::string::npos)
        << describe(got);
    ASSERT_EQ(got[0].characters.size(), sent.size());
    EXPECT_TRUE(std::equal(sent.begin() + 2, sent.end(), got[0].characters.begin() + 2));
}

// A dropout that takes the sync character ends the header tone there, and the data after it
// is read as after a dropout inside the data. Before, the load was lost: its header and its
// footer were reported as two tones with nothing after them. Where the sync character began
// anywhere in a longer dropout, the stretch lost does not tell how many characters went with
// it, and the load stays lost rather than read a character off.
// Damage over the sync character that leaves the count of characters after it unknown: the
// characters after it are kept, in one load that is BAD and says that they may stand off;
// never a second load, never one that claims a count it does not know.
void expectKeptWithItsDoubt(const std::vector<DecodedLoad>& got,
                            const std::vector<std::uint8_t>& data, const std::string& what) {
    std::vector<std::uint8_t> sent = data;
    sent.push_back(machine::checkSumCompleting(machine::loadSum(data)));
    ASSERT_EQ(got.size(), 1u) << what << ": " << describe(got);
    const DecodedLoad& load = got[0];
    ASSERT_GE(load.characters.size(), 30u) << what << ": " << describe(got);
    EXPECT_TRUE(std::equal(sent.end() - 30, sent.end(), load.characters.end() - 30))
        << what << ": " << describe(got);
    if (load.characters.size() != sent.size()) {
        EXPECT_EQ(load.verdict, Verdict::bad) << what;
        EXPECT_NE(load.problem.find("may stand up to"), std::string::npos)
            << what << ": " << describe(got);
    }
}

TEST(RealButBroken, AShortDropoutOverTheSyncCharacterLosesNoLoad) {
    const std::vector<std::uint8_t> data = randomBytes(40, 14);
    Recording whole = silenceAndTone();
    const double sync = static_cast<double>(whole.frames()) / whole.rate;
    appendLoadAfterTone(whole, data);
    const double unit = 14.0 / 22050.0;
    for (const double before : {0.0, 1.0, 3.0}) {
        for (const double length : {2.0, 4.0, 7.5}) {
            Recording r = whole;
            dropout(r, sync - before * unit, length * unit);
            const std::vector<DecodedLoad> got = decode(r);
            ASSERT_EQ(got.size(), 1u) << before << ", " << length << ": " << describe(got);
            EXPECT_EQ(got[0].verdict, Verdict::ok) << before << ", " << length;
            ASSERT_EQ(got[0].characters.size(), data.size() + 1);
            EXPECT_TRUE(std::equal(data.begin(), data.end(), got[0].characters.begin()));
        }
    }
    // Where the stretch lost does not tell how many characters it held (the sync character
    // began anywhere in a long dropout).
    for (const auto& [from, length] : {std::pair{2.0, 10.0},
                                       {-6.0, 4.0},
                                       {-6.0, 7.5},
                                       {0.0, 15.0},
                                       {0.0, 20.0},
                                       {-20.0, 30.0}}) {
        Recording r = whole;
        dropout(r, sync + from * unit, length * unit);
        expectKeptWithItsDoubt(decode(r), data,
                               std::to_string(from) + ", " + std::to_string(length));
    }
    Recording overSync = whole;
    dropout(overSync, sync, 20 * unit);
    const std::vector<DecodedLoad> one = decode(overSync);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].problem,
              "the signal was lost over the sync character and character 0 (a dropout), so its "
              "value is unknown; it took 0 to 2 characters after the sync character, so those "
              "read after it may stand up to 1 place off");
    // A second take, its dropout elsewhere, settles the count: the load reads exactly.
    Recording later = whole;
    dropout(later, sync + 150 * unit, 20 * unit);
    std::vector<std::uint8_t> sent = data;
    sent.push_back(machine::checkSumCompleting(machine::loadSum(data)));
    for (const auto& merged :
         {mergeTakes({one, decode(later)}), mergeTakes({decode(later), one})}) {
        ASSERT_EQ(merged.size(), 1u) << describe(merged);
        EXPECT_NE(merged[0].verdict, Verdict::bad) << describe(merged);
        EXPECT_EQ(merged[0].characters, sent);
    }
}

// A burst of noise as loud as the tape over the sync character (a click, a crackle): the
// tone may have run on into it for any part of it.
TEST(RealButBroken, ABurstOfNoiseOverTheSyncCharacterLosesNoLoad) {
    const std::vector<std::uint8_t> data = randomBytes(40, 14);
    Recording whole = silenceAndTone();
    const std::size_t sync = whole.samples.size();
    appendLoadAfterTone(whole, data);
    std::mt19937 random(3);
    std::uniform_real_distribution<float> level(-0.9f, 0.9f);
    for (int cycles = 4; cycles <= 44; cycles += 4) {
        Recording r = whole;
        for (std::size_t i = sync - 28; i < sync + static_cast<std::size_t>(cycles) * 14; ++i) {
            r.samples[i] = level(random);
        }
        expectKeptWithItsDoubt(decode(r), data, std::to_string(cycles) + " cycles");
    }
}

// A cycle of the header tone that hiss cut short a few cycles before the sync character
// opens no reading of its own: the sync character after it, led into by tone, is where the
// load starts, not its first character.
TEST(RealButBroken, ACutCycleJustBeforeTheSyncCharacterKeepsItsLoad) {
    const std::vector<std::uint8_t> data = randomBytes(40, 16);
    for (const int back : {9, 12, 16, 24}) {
        Recording r = silenceAndTone();
        const std::size_t cycle = r.samples.size() - static_cast<std::size_t>(back) * 14;
        for (std::size_t i = cycle + 3; i < cycle + 7; ++i) {
            r.samples[i] = -r.samples[i];
        }
        appendLoadAfterTone(r, data);
        const std::vector<DecodedLoad> got = decode(r);
        ASSERT_EQ(got.size(), 1u) << back << ": " << describe(got);
        EXPECT_EQ(got[0].verdict, Verdict::ok) << back << ": " << describe(got);
        ASSERT_EQ(got[0].characters.size(), data.size() + 1) << back;
        EXPECT_TRUE(std::equal(data.begin(), data.end(), got[0].characters.begin())) << back;
    }
}

// A cycle that hiss cut short just before a lone tone ends opens no sync character: the
// signal is lost in the gap after it, and the tone stays a tone of its own where it was, not
// the start of one that runs on into the next load's header.
TEST(RealButBroken, ACutCycleAtTheEndOfALoneToneOpensNoLoad) {
    const std::vector<std::uint8_t> data = randomBytes(30, 15);
    for (const int back : {3, 5, 8}) {
        Recording r = silenceAndTone();
        // A 1 cycle read as a 0: its high half comes early.
        const std::size_t cycle = r.samples.size() - static_cast<std::size_t>(back) * 14;
        for (std::size_t i = cycle + 3; i < cycle + 7; ++i) {
            r.samples[i] = -r.samples[i];
        }
        const double toneEnd = static_cast<double>(r.frames()) / r.rate;
        // Faint hiss in the gap: cycles the level gate drops.
        std::mt19937 random(static_cast<unsigned>(back));
        std::normal_distribution<float> hiss(0.0f, 0.01f);
        for (int i = 0; i < static_cast<int>(0.3 * r.rate); ++i) {
            r.samples.push_back(hiss(random));
        }
        appendTone(r, 0.5);
        appendLoadAfterTone(r, data);
        const std::vector<DecodedLoad> got = decode(r);
        ASSERT_EQ(got.size(), 2u) << back << ": " << describe(got);
        EXPECT_EQ(got[0].verdict, Verdict::bad);
        EXPECT_TRUE(got[0].characters.empty());
        EXPECT_NEAR(got[0].endSeconds, toneEnd, 0.01) << back;
        EXPECT_EQ(got[1].verdict, Verdict::ok) << back << ": " << describe(got);
    }
}

TEST(Phantoms, HissAtTheEdgeOfADropoutInTheHeaderIsNoLoadWithoutData) {
    // A tone, something hiss made into a sync character, one more 1, and a dropout that took
    // the real sync character; the load's data after it. Read as a load without data that
    // was OK, and stood in for the load the dropout took.
    const std::vector<std::uint8_t> data = randomBytes(30, 13);
    Recording r = silenceAndTone();
    appendCharacter(r, machine::syncCharacter);
    appendBit(r, 1);
    appendSilence(r, 0.02);
    for (const std::uint8_t byte : data) {
        appendCharacter(r, byte);
    }
    appendTone(r, 0.25);
    appendSilence(r, 0.3);
    const std::vector<DecodedLoad> got = decode(r);
    for (const DecodedLoad& load : got) {
        EXPECT_EQ(load.verdict, Verdict::bad) << describe(got);
    }
    // A load without data and its footer, also one whose recording ends in a short footer.
    for (const double footer : {0.25, 0.005}) {
        Recording empty = silenceAndTone();
        appendCharacter(empty, machine::syncCharacter);
        appendTone(empty, footer);
        if (footer > 0.1) {
            appendSilence(empty, 0.3);
        }
        const std::vector<DecodedLoad> read = decode(empty);
        ASSERT_EQ(read.size(), 1u) << footer << ": " << describe(read);
        EXPECT_EQ(read[0].verdict, Verdict::ok) << footer << ": " << describe(read);
        EXPECT_TRUE(read[0].characters.empty());
    }
}
