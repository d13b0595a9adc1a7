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
        out[static_cast<std::size_t>(n) % held] = sum;
    }
    total = sum;
    count = n;
}

SignalHistory SignalHistory::stretch(double fromFrame, double toFrame) const {
    SignalHistory copy(static_cast<int>(frameStep));
    const double first = std::floor((fromFrame - (frameStep - 1.0)) * perFrame + 0.5) - 1.0;
    const double last = std::ceil((toFrame - (frameStep - 1.0)) * perFrame + 0.5) + 1.0;
    const std::int64_t oldest =
        std::max<std::int64_t>(0, count - static_cast<std::int64_t>(held) + 1);
    const std::int64_t from = std::max(oldest, static_cast<std::int64_t>(std::max(first, 0.0)));
    const std::int64_t to = std::min(count, static_cast<std::int64_t>(std::max(last, 0.0)));
    if (!(first < last) || from > to) {
        copy.held = 1;
        copy.sums.assign(1, 0.0);
        copy.count = -1;  // nothing held: every position is refused
        return copy;
    }
    copy.held = static_cast<std::size_t>(to - from + 1);
    copy.sums.assign(copy.held, 0.0);
    for (std::int64_t n = from; n <= to; ++n) {
        copy.sums[static_cast<std::size_t>(n) % copy.held] =
            sums[static_cast<std::size_t>(n) % held];
    }
    copy.count = to;
    copy.total = copy.sums[static_cast<std::size_t>(to) % copy.held];
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
