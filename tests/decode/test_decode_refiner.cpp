// SPDX-License-Identifier: MIT
// The signal weighed where the lengths of cycles leave doubt: running sums that give exact
// areas, and runs of doubtful bits put right (or left alone) by the square wave under them.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <span>
#include <vector>

#include "decode/bit_refiner.h"
#include "decode/signal_history.h"

using kelvanto::decode::Bit;
using kelvanto::decode::BitRefiner;
using kelvanto::decode::SignalHistory;

TEST(SignalHistory, AreasAreExactHeldAndForgotten) {
    SignalHistory history;
    const std::vector<float> samples = {1, 2, 3, 4, 5, 6, 7, 8};
    history.append(samples);
    // Sample k covers frames k - 0.5 to k + 0.5.
    EXPECT_DOUBLE_EQ(*history.area(-0.5, 7.5), 36.0);
    EXPECT_DOUBLE_EQ(*history.area(0.5, 2.5), 5.0);
    EXPECT_DOUBLE_EQ(*history.area(1.0, 2.0), 0.5 * 2 + 0.5 * 3);
    EXPECT_FALSE(history.area(6.5, 8.5));  // not read yet
    EXPECT_FALSE(history.area(-1.5, 0.5));
    // A decimated stream: each sample stands for two frames, the later of them.
    SignalHistory halved(2);
    halved.append(samples);
    EXPECT_DOUBLE_EQ(*halved.area(0.0, 4.0), 2.0 * (1 + 2));
    // After a long recording, only the last stretch is held.
    const std::vector<float> more(SignalHistory::capacity, 1.0f);
    history.append(more);
    EXPECT_FALSE(history.area(0.5, 2.5));
    const double end = 8.0 + SignalHistory::capacity - 0.5;
    ASSERT_TRUE(history.area(end - 100.0, end));
    EXPECT_DOUBLE_EQ(*history.area(end - 100.0, end), 100.0);
    EXPECT_FALSE(history.area(end - 100.0, end + 0.5));
    // A stretch kept after the history moved on answers as the history did, there only.
    const SignalHistory kept = halved.stretch(4.0, 10.0);
    halved.append(more);
    EXPECT_DOUBLE_EQ(*kept.area(4.0, 10.0), 2.0 * (3 + 4 + 5));
    EXPECT_DOUBLE_EQ(*kept.area(4.5, 5.5), 1.0 * 3);  // half of sample 2 (frames 3 to 5)
    EXPECT_FALSE(kept.area(-2.0, 10.0));
    EXPECT_FALSE(kept.area(4.0, 30.0));
    EXPECT_FALSE(halved.stretch(-50.0, -10.0).area(-40.0, -20.0));
}

namespace {

constexpr double unit = 28.0;  // frames of a 1 cycle

// A square wave of the row (each cycle low, then high), and the bits a clear reading of it
// gives, with their places.
struct Tape {
    std::vector<float> samples;
    std::vector<Bit> bits;
};

Tape square(const std::vector<int>& row, float level = 0.5f) {
    Tape tape;
    double at = 0.0;
    for (const int value : row) {
        const double length = value == 1 ? unit : unit / 2;
        for (int i = 0; i < static_cast<int>(length); ++i) {
            tape.samples.push_back(i < length / 2 ? -level : level);
        }
        Bit bit;
        bit.value = value;
        bit.certainty = 1.0f;
        bit.start = at - 0.5;
        bit.end = at + length - 0.5;
        bit.amplitude = level;
        tape.bits.push_back(bit);
        at += length;
    }
    return tape;
}

std::vector<int> values(const std::vector<Bit>& bits) {
    std::vector<int> out;
    for (const Bit& bit : bits) {
        out.push_back(bit.value);
    }
    return out;
}

// Enough clear 1s and 0s to scale the weights and measure their spread, then the row
// under test.
constexpr std::size_t leadIn = 120;

std::vector<int> withLeadIn(const std::vector<int>& row) {
    std::vector<int> all;
    for (std::size_t i = 0; i < leadIn / 3; ++i) {
        all.insert(all.end(), {1, 0, 0});
    }
    all.insert(all.end(), row.begin(), row.end());
    all.push_back(1);
    return all;
}

// Feeds the bits, with the doubtful stretch (bits first .. last of the row) replaced by
// what the classifier read; returns the values of the refined stretch and its certainty.
struct Refined {
    std::vector<int> row;
    float least = 1.0f;
    std::vector<float> evidence;
};

struct Read {
    int value;
    double length;  // units
    float certainty = 0.1f;
};

Refined refine(const std::vector<int>& truth, const std::vector<Read>& read, bool inverted = false,
               const std::vector<int>& blend = {}) {
    const float level = 0.5f;
    Tape tape = square(withLeadIn(truth), level);
    // Half way between two rows of the same length: the signal cannot tell them apart.
    if (!blend.empty()) {
        const Tape other = square(withLeadIn(blend), level);
        for (std::size_t i = 0; i < tape.samples.size(); ++i) {
            tape.samples[i] = 0.5f * (tape.samples[i] + other.samples[i]);
        }
    }
    if (inverted) {
        for (float& x : tape.samples) {
            x = -x;
        }
    }
    SignalHistory history;
    history.append(tape.samples);
    BitRefiner refiner;
    refiner.weigh(&history, inverted);
    const std::size_t lead = leadIn;
    std::vector<Bit> out;
    for (std::size_t i = 0; i < lead; ++i) {
        refiner.push(tape.bits[i], unit, out);
    }
    // The misread bits: value and length in units, at certainty 0.1, one after another.
    double at = tape.bits[lead].start;
    for (const Read& r : read) {
        Bit bit;
        bit.value = r.value;
        bit.certainty = r.certainty;
        bit.start = at;
        bit.end = at + r.length * unit;
        bit.amplitude = level;
        refiner.push(bit, unit, out);
        at = bit.end;
    }
    refiner.push(tape.bits.back(), unit, out);
    refiner.flush(out);
    EXPECT_EQ(out.back().value, 1);  // the clear bit that closed the run
    Refined refined;
    // The lead-in comes out as it went in (the last of it perhaps only with the run).
    EXPECT_EQ(values(std::vector<Bit>(out.begin(), out.begin() + lead)),
              values(std::vector<Bit>(tape.bits.begin(), tape.bits.begin() + lead)));
    for (std::size_t i = lead; i + 1 < out.size(); ++i) {
        refined.row.push_back(out[i].value);
        refined.evidence.push_back(out[i].evidence);
        refined.least = std::min(refined.least, out[i].certainty);
    }
    return refined;
}

}  // namespace

TEST(BitRefiner, DoubtfulRunsTakeTheRowTheSignalHolds) {
    struct Case {
        const char* what;
        std::vector<int> truth;
        std::vector<Read> read;
    };
    const std::vector<Case> cases = {
        {"a 1 and a 0 merged into one long cycle", {1, 0}, {{1, 1.5}}},
        {"a 0 and a 1 merged", {0, 1}, {{1, 1.5}}},
        {"the edge between a 1 and a 0 seen late", {1, 0}, {{1, 0.75}, {1, 0.75}}},
        {"a 1 cut in two", {1}, {{0, 0.5}, {0, 0.5}}},
        {"two 0s merged into a 1", {0, 0}, {{1, 1.0}}},
        {"three 0s read as a 1 and a 0", {0, 0, 0}, {{1, 1.0}, {0, 0.5}}},
        // The bit after a doubtful one starts on the edge in doubt, and is weighed with it.
        {"a 1 cut early, the rest fairly clear", {1}, {{0, 0.33}, {0, 0.67, 0.6f}}},
    };
    for (const Case& c : cases) {
        for (const bool inverted : {false, true}) {
            const Refined refined = refine(c.truth, c.read, inverted);
            EXPECT_EQ(refined.row, c.truth) << c.what << (inverted ? ", inverted" : "");
            EXPECT_GT(refined.least, 0.5f) << c.what;
        }
    }
}

TEST(BitRefiner, WhatTheSignalCannotSettleStaysAsRead) {
    // The row read is right: kept, and the signal bears it out.
    const Refined right = refine({1, 0}, {{1, 1.0}, {0, 0.5}});
    EXPECT_EQ(right.row, (std::vector<int>{1, 0}));
    EXPECT_GT(right.least, 0.9f);
    // A run whose rows all weigh alike keeps its reading: a guess would move the framing.
    const Refined tied = refine({1, 0}, {{1, 1.5}}, false, {0, 1});
    EXPECT_EQ(tied.row, (std::vector<int>{1}));
    EXPECT_FLOAT_EQ(tied.least, 0.1f);
    // Five cycles whose edges hiss moved, read as five 1s: ten half units, the longest run
    // weighed, and the signal finds the two 0s among them.
    EXPECT_EQ(refine({1, 0, 0, 1, 1, 1}, {{1, 1.0}, {1, 1.0}, {1, 1.0}, {1, 1.0}, {1, 1.0}}).row,
              (std::vector<int>{1, 0, 0, 1, 1, 1}));
    // A run longer than the longest weighed passes through unchanged, but each bit keeps
    // what its shape says: the framer's choice of which 1 was two 0s rests on it.
    const Refined tooLong =
        refine({1, 0, 0, 1, 1, 1, 1}, {{1, 1.0}, {1, 1.0}, {1, 1.0}, {1, 1.0}, {1, 1.0}, {1, 1.0}});
    static_assert(BitRefiner::mostHalves < 12);
    EXPECT_EQ(tooLong.row, (std::vector<int>{1, 1, 1, 1, 1, 1}));
    constexpr auto most = static_cast<float>(BitRefiner::mostEvidence);
    EXPECT_EQ(tooLong.evidence, (std::vector<float>{most, -most, most, most, most, most}));
}

TEST(BitRefiner, ClearLengthAgainstTheSignalIsWeighedAgain) {
    // A cycle of a clear 1's length over two 0s: the signal overrules it.
    Tape tape = square(withLeadIn({0, 0}));
    SignalHistory history;
    history.append(tape.samples);
    BitRefiner refiner;
    refiner.weigh(&history, false);
    std::vector<Bit> out;
    // A bit whose length was only fairly clear, but whose shape bears it out.
    tape.bits[leadIn - 1].certainty = 0.6f;
    for (std::size_t i = 0; i < leadIn; ++i) {
        refiner.push(tape.bits[i], unit, out);
    }
    Bit wrong = tape.bits[leadIn];
    wrong.value = 1;
    wrong.end = tape.bits[leadIn + 1].end;
    refiner.push(wrong, unit, out);
    refiner.push(tape.bits.back(), unit, out);
    refiner.flush(out);
    EXPECT_EQ(values(out), values(tape.bits));
    EXPECT_FLOAT_EQ(out[leadIn - 1].certainty, 1.0f);
    // Once the spread is known, every bit carries what its shape says: the most the model
    // allows, for a clean square wave, with the sign of its value; nothing before that.
    EXPECT_FLOAT_EQ(out.front().evidence, 0.0f);
    for (std::size_t i = leadIn - 3; i < out.size(); ++i) {
        EXPECT_FLOAT_EQ(out[i].evidence, out[i].value == Bit::one ? BitRefiner::mostEvidence
                                                                  : -BitRefiner::mostEvidence)
            << i;
    }
    // Without a signal to weigh, every bit passes as it came.
    BitRefiner blind;
    std::vector<Bit> passed;
    blind.push(wrong, unit, passed);
    ASSERT_EQ(passed.size(), 1u);
    EXPECT_EQ(passed[0].value, 1);
}

// A loud stretch (with hiss of the given spread, or none) and then a clean probe row at a
// tenth of the level, as a dropout leaves it; the signal comes as it is read (the history
// holds only the last stretch). Returns the evidence the probe's bits carry for their value,
// and the mean of it over the last 100 loud bits.
struct Dimmed {
    std::vector<double> probe;
    double loud = 0.0;
};

Dimmed dimmedProbe(float hissSpread) {
    std::vector<int> row;
    for (int i = 0; i < 200; ++i) {
        row.push_back((i * 7 / 3) % 2);
    }
    const std::vector<int> probe = {1, 0, 0, 1, 1, 0, 1, 0, 0, 1};
    row.insert(row.end(), probe.begin(), probe.end());
    Tape tape = square(withLeadIn(row));
    const std::size_t dimFrom = tape.bits.size() - 1 - probe.size();
    const auto dimSample = static_cast<std::size_t>(tape.bits[dimFrom].start + 0.5);
    std::mt19937 random(3);
    std::normal_distribution<float> hiss(0.0f, hissSpread);
    for (std::size_t i = 0; i < tape.samples.size(); ++i) {
        tape.samples[i] = i < dimSample ? tape.samples[i] + (hissSpread > 0 ? hiss(random) : 0)
                                        : 0.1f * tape.samples[i];
    }
    for (std::size_t i = dimFrom; i < tape.bits.size(); ++i) {
        tape.bits[i].amplitude *= 0.1f;
    }
    SignalHistory history;
    BitRefiner refiner;
    refiner.weigh(&history, false);
    std::vector<Bit> out;
    std::size_t heard = 0;
    for (const Bit& bit : tape.bits) {
        const std::size_t to =
            std::min(tape.samples.size(), static_cast<std::size_t>(bit.end + 2 * unit));
        history.append(std::span<const float>(tape.samples).subspan(heard, to - heard));
        heard = to;
        refiner.push(bit, unit, out);
    }
    refiner.flush(out);
    EXPECT_EQ(values(out), values(tape.bits));
    Dimmed dimmed;
    auto forValue = [](const Bit& bit) { return bit.evidence * (bit.value == Bit::one ? 1 : -1); };
    for (std::size_t i = dimFrom; i + 1 < out.size(); ++i) {
        dimmed.probe.push_back(forValue(out[i]));
    }
    for (std::size_t i = dimFrom - 100; i < dimFrom && i < out.size(); ++i) {
        dimmed.loud += forValue(out[i]) / 100;
    }
    return dimmed;
}

// Hiss does not dip with the signal: where a dropout leaves a tenth of the level, the same
// hiss weighs a hundred times as much against it (fifty, once the leeway for a peak that hiss
// moved is granted), and the bits say that much less.
TEST(BitRefiner, ABitInADropoutCarriesTheEvidenceItsLevelLeavesIt) {
    // A clean square wave at full level carries the most the model allows; at a tenth of it
    // about 4 (weight 1, over the least spread, 0.01, at half a hundredth of the level's
    // square).
    const Dimmed clean = dimmedProbe(0.0f);
    EXPECT_FLOAT_EQ(clean.loud, BitRefiner::mostEvidence);
    ASSERT_EQ(clean.probe.size(), 10u);
    for (const double evidence : clean.probe) {
        EXPECT_GT(evidence, 3.6);
        EXPECT_LT(evidence, 5.0);
    }
    // After hiss the loud bits measured, that hiss weighs against the dimmed ones (the probe
    // is clean: what it is given is the hiss the load taught, nothing else).
    const Dimmed hissed = dimmedProbe(0.4f);
    EXPECT_GT(hissed.loud, 2.0);
    ASSERT_EQ(hissed.probe.size(), 10u);
    for (const double evidence : hissed.probe) {
        EXPECT_GT(evidence, 0.0);
        EXPECT_LT(evidence, 1.0);
    }
}
