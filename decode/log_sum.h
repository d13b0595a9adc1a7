// SPDX-License-Identifier: MIT
// Adding likelihoods kept as natural logs, so that long products of small odds neither
// underflow nor lose the smaller terms.
#pragma once

#include <algorithm>
#include <cmath>

namespace kelvanto::decode {

// sum := log(e^sum + e^term); a term of -infinity (no likelihood at all) adds nothing.
inline void addLog(double& sum, double term) {
    if (term > -HUGE_VAL) {
        sum = std::max(sum, term) + std::log1p(std::exp(-std::fabs(sum - term)));
    }
}

}  // namespace kelvanto::decode
