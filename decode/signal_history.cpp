// SPDX-License-Identifier: MIT
// Running sums of the filtered signal over the last few blocks.
// The area of any stretch is the difference of two interpolated sums.
#include "decode/signal_history.h"

namespace kelvanto::decode {

SignalHistory::SignalHistory(int step)
    : sums(capacity, 0.0), frameStep(step), perFrame(1.0 / step) {}

void SignalHistory::append(std::span<const float> samples) {
    // In locals: kept in members, each store to the sums would force them back to memory.
    double sum = total;
    std::int64_t n = count;
    double* out = sums.data();
    for (const float x : samples) {
        sum += x;
        ++n;
        out[static_cast<std::size_t>(n) % capacity] = sum;
    }
    total = sum;
    count = n;
}

std::optional<double> SignalHistory::sumAtPosition(double position) const {
    // Also false for a position that is not a number.
    if (!(position >= 0.0 && position <= static_cast<double>(count))) {
        return std::nullopt;
    }
    const auto n = static_cast<std::int64_t>(position);
    if (n < count - static_cast<std::int64_t>(capacity) + 1) {
        return std::nullopt;
    }
    const double before = sums[static_cast<std::size_t>(n) % capacity];
    if (n == count) {
        return before;
    }
    const double after = sums[static_cast<std::size_t>(n + 1) % capacity];
    return before + (position - static_cast<double>(n)) * (after - before);
}

// Sample k covers positions k to k + 1 of the running sum, centred on its own time.
std::optional<double> SignalHistory::sumAt(double frame) const {
    const std::optional<double> sum = sumAtPosition((frame - (frameStep - 1.0)) * perFrame + 0.5);
    if (!sum) {
        return std::nullopt;
    }
    return *sum * frameStep;
}

std::optional<double> SignalHistory::area(double fromFrame, double toFrame) const {
    const std::optional<double> from = sumAt(fromFrame);
    const std::optional<double> to = sumAt(toFrame);
    if (!from || !to) {
        return std::nullopt;
    }
    return *to - *from;
}

}  // namespace kelvanto::decode
