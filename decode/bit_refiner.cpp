// SPDX-License-Identifier: MIT
// Runs of doubtful bits weighed again on the signal itself.
// Every row of 1s and 0s that fills the run is tried; there are few, runs being short.
#include "decode/bit_refiner.h"

#include <algorithm>
#include <cmath>

namespace kelvanto::decode {

void BitRefiner::weigh(const SignalHistory* history, bool startsHigh) {
    signal = history;
    sign = startsHigh ? -1.0 : 1.0;
}

void BitRefiner::reset() {
    meanOne = meanZero = 0.0;
    ones = zeros = 0;
    spread = 0.0;
    hiss = 0.0;
    meanSquareLevel = 0.0;
    spreadCount = 0;
    run.clear();
}

std::optional<double> BitRefiner::rawWeight(double from, double unitFrames, double level) const {
    if (!(unitFrames > 0.0) || !(level > 0.0)) {
        return std::nullopt;
    }
    // The third quarter's area less the second's, from the sums at their three edges.
    const std::optional<double> middle = signal->sumAt(from + 0.5 * unitFrames);
    if (!middle) {
        return std::nullopt;
    }
    const std::optional<double> before = signal->sumAt(from + 0.25 * unitFrames);
    const std::optional<double> after = signal->sumAt(from + 0.75 * unitFrames);
    if (!before || !after) {
        return std::nullopt;
    }
    return sign * (*after - 2.0 * *middle + *before) / (unitFrames * level);
}

// Half the distance between a clear 1's and a clear 0's weight, once enough were seen.
double BitRefiner::scale() const {
    return ones < clearForScale || zeros < clearForScale ? 0.0 : 0.5 * (meanOne - meanZero);
}

// Scaled so that a clear 1 of this load weighs +1 and a clear 0 -1.
std::optional<double> BitRefiner::scaled(std::optional<double> raw) const {
    if (!raw || !(scale() > 0.0)) {
        return std::nullopt;
    }
    return (*raw - 0.5 * (meanOne + meanZero)) / scale();
}

// A weight w of a load whose clear bits spread by s around +-1 is the log likelihood
// ratio 2w / s^2 of a 1 against a 0 (for hiss that adds to it evenly). The spread counts
// only once enough clear bits were seen, never as less than a tenth, and the evidence is
// held within mostEvidence: the model is not trusted further.
// Hiss does not dip with the signal: a weight per unit of a level a dropout halved carries
// twice the hiss. So the spread is also learnt as it stands before the weights are divided
// by their levels (hiss, and the least spread at the clear bits' mean square level), and a
// bit of level a has that over a^2. A level is a peak, which hiss itself moves: only a
// square level below half the clear bits' counts as dimmed (white noise at the limit of
// reading read as many loads so, and worn cassettes more). Never less than the load's
// spread: loud bits are no clearer than the clear ones, whose spread is shape and hiss.
float BitRefiner::evidenceOf(std::optional<double> weight, double level) const {
    if (!weight || spreadCount < clearForSpread || !(level > 0.0)) {
        return 0.0f;
    }
    const double least = leastSpread * leastSpread;
    const double own = dimmedShare * std::max(hiss, least * meanSquareLevel) / (level * level);
    const double evidence = 2.0 * *weight / std::max({own, spread, least});
    return static_cast<float>(std::clamp(evidence, -mostEvidence, mostEvidence));
}

void BitRefiner::push(const Bit& bit, double unitFrames, std::vector<Bit>& out) {
    unit = unitFrames;
    if (signal == nullptr) {
        out.push_back(bit);
        return;
    }
    if (bit.value == Bit::invalid) {
        flush(out);
        out.push_back(bit);
        return;
    }
    const double value = bit.value == Bit::one ? 1.0 : -1.0;
    const std::optional<double> raw = rawWeight(bit.start, unitFrames, bit.amplitude);
    const std::optional<double> own = scaled(raw);
    Bit weighed = bit;
    weighed.evidence = evidenceOf(own, bit.amplitude);
    // The bit after a doubtful one starts on the edge in doubt: it closes the run only
    // when it is clear beyond that.
    const bool closing = !run.empty();
    const bool doubt = bit.certainty < (closing ? closesRun : doubtful) ||
                       (own && *own * value < (closing ? closesRunWeight : againstClear));
    if (doubt) {
        run.push_back(weighed);
        if (static_cast<int>(run.size()) * 2 > mostHalves) {
            flush(out);
        }
        return;
    }
    if (!run.empty()) {
        settle(bit.start, bit.amplitude, out);
    }
    // A clear bit (its start held by the clear bit before it) whose shape bears its value
    // out is as certain as that evidence makes it.
    weighed.certainty = std::max(
        weighed.certainty,
        static_cast<float>(std::min(1.0, weighed.evidence * value * (1.0 / mostEvidence))));
    out.push_back(weighed);
    // Clear bits teach the scale and the spread.
    if (own) {
        const double off = *own * value - 1.0;
        ++spreadCount;
        const double rate = spreadCount < 256 ? 1.0 / spreadCount : 1.0 / 256;
        spread += (off * off - spread) * rate;
        const double square = static_cast<double>(bit.amplitude) * bit.amplitude;
        hiss += (off * off * square - hiss) * rate;
        meanSquareLevel += (square - meanSquareLevel) * rate;
    }
    if (raw) {
        double& mean = bit.value == Bit::one ? meanOne : meanZero;
        int& count = bit.value == Bit::one ? ones : zeros;
        ++count;
        mean += (*raw - mean) * (count < 64 ? 1.0 / count : 1.0 / 64);
    }
}

// A run the signal did not settle goes out as read, each bit with what its own shape says
// where it starts. That is what tells which of the run's 1s was two 0s run together, when a
// lost edge slipped the framing: such an edge moves no other, so every start is still
// where a cycle began.
void BitRefiner::flush(std::vector<Bit>& out) {
    out.insert(out.end(), run.begin(), run.end());
    run.clear();
}

void BitRefiner::settle(double end, float closingLevel, std::vector<Bit>& out) {
    const double start = run.front().start;
    const double halves = 2.0 * (end - start) / unit;
    const int count = static_cast<int>(std::lround(halves));
    double level = closingLevel;
    for (const Bit& bit : run) {
        level += bit.amplitude;
    }
    level /= static_cast<double>(run.size() + 1);
    if (!(unit > 0.0) || count < 1 || count > mostHalves || std::fabs(halves - count) > offGrid ||
        !(scale() > 0.0) || !(level > 0.0)) {
        flush(out);
        return;
    }
    // The areas of the stretch's quarter units: a 0 is low for one and high for the next,
    // a 1 low for two and high for two.
    const double half = (end - start) / count;
    std::vector<double> quarter(static_cast<std::size_t>(2 * count));
    for (int i = 0; i < 2 * count; ++i) {
        const std::optional<double> a =
            signal->area(start + 0.5 * i * half, start + 0.5 * (i + 1) * half);
        if (!a) {
            flush(out);
            return;
        }
        quarter[static_cast<std::size_t>(i)] = sign * *a / (2.0 * half * scale() * level);
    }
    auto q = [&](int i) { return quarter[static_cast<std::size_t>(i)]; };
    // Bit k of a row: the cycle at that place is a 1 (two halves) or a 0 (one). Rows are
    // read from bit 0 up until they fill the stretch; rows that differ only beyond their
    // end are the same row, and only the one with nothing beyond it is weighed.
    auto fills = [&](unsigned row) {
        int position = 0;
        int k = 0;
        for (; position < count; ++k) {
            position += ((row >> k) & 1u) ? 2 : 1;
        }
        return position == count && (row >> k) == 0u;
    };
    auto score = [&](unsigned row) {
        double total = 0.0;
        for (int k = 0, position = 0; position < count; ++k) {
            const bool one = (row >> k) & 1u;
            const int first = 2 * position;
            total += one ? q(first + 2) + q(first + 3) - q(first) - q(first + 1)
                         : q(first + 1) - q(first);
            position += one ? 2 : 1;
        }
        return total;
    };
    double best = -HUGE_VAL;
    double second = -HUGE_VAL;
    unsigned bestRow = 0;
    for (unsigned row = 0; row < (1u << count); ++row) {
        if (!fills(row)) {
            continue;
        }
        const double s = score(row);
        if (s > best) {
            second = best;
            best = s;
            bestRow = row;
        } else if (s > second) {
            second = s;
        }
    }
    const double noise = std::sqrt(spread);
    if (!(best - second > std::max(leastMargin, marginSpreads * noise))) {
        flush(out);
        return;
    }
    const float certainty = static_cast<float>(
        std::clamp((best - second) / (certainSpreads * std::max(noise, 1e-3)), 0.0, 1.0));
    unsigned given = 0;
    int length = 0;
    for (std::size_t k = 0; k < run.size(); ++k) {
        given |= run[k].value == Bit::one ? (1u << k) : 0u;
        length += run[k].value == Bit::one ? 2 : 1;
    }
    // The signal bears the lengths out (the bits keep their places as seen), or another row
    // replaces them; either way each bit's evidence is weighed where the row puts it.
    const bool confirmed = length == count && given == bestRow;
    for (int k = 0, position = 0; position < count; ++k) {
        const bool one = (bestRow >> k) & 1u;
        const double from = start + position * half;
        position += one ? 2 : 1;
        Bit bit;
        if (confirmed) {
            bit = run[static_cast<std::size_t>(k)];
            bit.certainty = std::max(bit.certainty, certainty);
        } else {
            bit.value = one ? Bit::one : Bit::zero;
            bit.certainty = certainty;
            bit.start = from;
            bit.end = start + position * half;
            bit.amplitude = static_cast<float>(level);
        }
        bit.evidence = evidenceOf(scaled(rawWeight(from, 2.0 * half, level)), level);
        out.push_back(bit);
    }
    run.clear();
}

}  // namespace kelvanto::decode
