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

std::optional<double> SignalHistory::area(double fromFrame, double toFrame) const {
    const std::optional<double> from = sumAt(fromFrame);
    const std::optional<double> to = sumAt(toFrame);
    if (!from || !to) {
        return std::nullopt;
    }
    return *to - *from;
}

}  // namespace kelvanto::decode
