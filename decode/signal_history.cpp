// SPDX-License-Identifier: MIT
// Running sums of the filtered signal over the last few blocks.
// The area of any stretch is the difference of two interpolated sums.
#include "decode/signal_history.h"

#include <algorithm>
#include <cmath>

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
        out[static_cast<std::size_t>(n) & mask] = sum;
    }
    total = sum;
    count = n;
    lowest = std::max(oldest, count - static_cast<std::int64_t>(mask));
}

SignalHistory SignalHistory::stretch(double fromFrame, double toFrame) const {
    SignalHistory copy(static_cast<int>(frameStep));
    const double first = std::floor((fromFrame - (frameStep - 1.0)) * perFrame + 0.5) - 1.0;
    const double last = std::ceil((toFrame - (frameStep - 1.0)) * perFrame + 0.5) + 1.0;
    const std::int64_t held = std::max<std::int64_t>(0, count - static_cast<std::int64_t>(mask));
    const std::int64_t from = std::max(held, static_cast<std::int64_t>(std::max(first, 0.0)));
    const std::int64_t to = std::min(count, static_cast<std::int64_t>(std::max(last, 0.0)));
    std::size_t size = 1;
    while (from <= to && size < static_cast<std::size_t>(to - from + 1)) {
        size *= 2;
    }
    copy.mask = size - 1;
    copy.sums.assign(size, 0.0);
    if (!(first < last) || from > to) {
        copy.count = -1;  // nothing held: every position is refused
        return copy;
    }
    for (std::int64_t n = from; n <= to; ++n) {
        copy.sums[static_cast<std::size_t>(n) & copy.mask] =
            sums[static_cast<std::size_t>(n) & mask];
    }
    copy.oldest = from;
    copy.count = to;
    copy.lowest = std::max(from, to - static_cast<std::int64_t>(copy.mask));
    copy.total = copy.sums[static_cast<std::size_t>(to) & copy.mask];
    return copy;
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
