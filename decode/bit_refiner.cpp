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
    run.clear();
}

std::optional<double> BitRefiner::rawWeight(double from, double unitFrames) const {
    if (signal == nullptr || !(unitFrames > 0.0)) {
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
    return sign * (*after - 2.0 * *middle + *before) / unitFrames;
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

void BitRefiner::push(const Bit& bit, double unitFrames, std::vector<Bit>& out) {
    unit = unitFrames;
    if (bit.value == Bit::invalid) {
        flush(out);
        out.push_back(bit);
        return;
    }
    const double value = bit.value == Bit::one ? 1.0 : -1.0;
    const std::optional<double> raw = rawWeight(bit.start, unitFrames);
    const std::optional<double> own = scaled(raw);
    // The bit after a doubtful one starts on the edge in doubt: it closes the run only
    // when it is clear beyond that.
    const bool closing = !run.empty();
    const bool doubt = bit.certainty < (closing ? closesRun : doubtful) ||
                       (own && *own * value < (closing ? closesRunWeight : againstClear));
    if (doubt && signal != nullptr) {
        run.push_back(bit);
        if (static_cast<int>(run.size()) * 2 > mostHalves) {
            flush(out);
        }
        return;
    }
    if (!run.empty()) {
        settle(bit.start, out);
    }
    out.push_back(bit);
    // Clear bits teach the scale.
    if (raw) {
        double& mean = bit.value == Bit::one ? meanOne : meanZero;
        int& count = bit.value == Bit::one ? ones : zeros;
        ++count;
        mean += (*raw - mean) / std::min(count, 64);
    }
}

void BitRefiner::flush(std::vector<Bit>& out) {
    out.insert(out.end(), run.begin(), run.end());
    run.clear();
}

void BitRefiner::settle(double end, std::vector<Bit>& out) {
    const double start = run.front().start;
    const double halves = 2.0 * (end - start) / unit;
    const int count = static_cast<int>(std::lround(halves));
    if (!(unit > 0.0) || count < 1 || count > mostHalves || std::fabs(halves - count) > offGrid) {
        flush(out);
        return;
    }
    // The areas of the stretch's quarter units: a 0 is low for one and high for the next,
    // a 1 low for two and high for two. A row is weighed by its whole waveform against the
    // signal (the correlation), which is fair between rows of more and fewer cycles: all
    // have the same energy.
    const double half = (end - start) / count;
    std::vector<double> quarter(static_cast<std::size_t>(2 * count));
    for (int i = 0; i < 2 * count; ++i) {
        const std::optional<double> a =
            signal->area(start + 0.5 * i * half, start + 0.5 * (i + 1) * half);
        if (!a || !(scale() > 0.0)) {
            flush(out);
            return;
        }
        quarter[static_cast<std::size_t>(i)] = sign * *a / (2.0 * half * scale());
    }
    auto q = [&](int i) { return quarter[static_cast<std::size_t>(i)]; };
    // The row the lengths gave, when it fills the stretch.
    int given = 0;
    for (const Bit& bit : run) {
        given += bit.value == Bit::one ? 2 : 1;
    }
    auto score = [&](unsigned row, int length) {
        // Bit k of row: the cycle at that place is a 1 (two halves) or a 0 (one).
        double total = 0.0;
        int position = 0;
        for (int k = 0; position < length; ++k) {
            const bool one = (row >> k) & 1u;
            if (one && position + 2 > length) {
                return -HUGE_VAL;
            }
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
    // Rows are read from bit 0 up until they fill the stretch; a row of count cycles
    // needs count bits, and rows that differ only beyond their end are the same row.
    for (unsigned row = 0; row < (1u << count); ++row) {
        int position = 0;
        int k = 0;
        for (; position < count; ++k) {
            position += ((row >> k) & 1u) ? 2 : 1;
        }
        if (position != count || (row >> k) != 0u) {
            continue;
        }
        const double s = score(row, count);
        if (s > best) {
            second = best;
            best = s;
            bestRow = row;
        } else if (s > second) {
            second = s;
        }
    }
    double old = -HUGE_VAL;
    if (given == count) {
        unsigned row = 0;
        for (std::size_t k = 0; k < run.size(); ++k) {
            row |= run[k].value == Bit::one ? (1u << k) : 0u;
        }
        old = score(row, count);
    }
    if (!(best - old > betterBy) || !(best - second > clearlyBest)) {
        flush(out);
        return;
    }
    const float certainty = static_cast<float>(std::clamp(0.5 * (best - second), 0.0, 1.0));
    float amplitude = 0.0f;
    for (const Bit& bit : run) {
        amplitude = std::max(amplitude, bit.amplitude);
    }
    int position = 0;
    for (int k = 0; position < count; ++k) {
        const bool one = (bestRow >> k) & 1u;
        Bit bit;
        bit.value = one ? Bit::one : Bit::zero;
        bit.certainty = certainty;
        bit.start = start + position * half;
        position += one ? 2 : 1;
        bit.end = start + position * half;
        bit.amplitude = amplitude;
        out.push_back(bit);
    }
    run.clear();
}

}  // namespace kelvanto::decode
