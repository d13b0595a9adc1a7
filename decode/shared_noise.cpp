// SPDX-License-Identifier: MIT
// The share of two readings' doubtful bits that they are both in doubt of.
#include "decode/shared_noise.h"

#include <algorithm>
#include <cmath>

namespace kelvanto::decode {

namespace {

// A bit whose evidence is below this share of the reading's clearest is in doubt.
constexpr double doubtfulShare = 0.5;

double clearest(const BitEvidence& reading) {
    double most = 0.0;
    for (const double e : reading) {
        most = std::isnan(e) ? most : std::max(most, std::fabs(e));
    }
    return most;
}

}  // namespace

double sharedNoise(const BitEvidence& a, const BitEvidence& b) {
    const double doubtA = doubtfulShare * clearest(a);
    const double doubtB = doubtfulShare * clearest(b);
    int inA = 0;
    int inB = 0;
    int both = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        if (std::isnan(a[i]) || std::isnan(b[i])) {
            continue;
        }
        const bool doubtfulA = std::fabs(a[i]) < doubtA;
        const bool doubtfulB = std::fabs(b[i]) < doubtB;
        inA += doubtfulA ? 1 : 0;
        inB += doubtfulB ? 1 : 0;
        both += doubtfulA && doubtfulB ? 1 : 0;
    }
    const int fewer = std::min(inA, inB);
    return fewer == 0 ? 1.0 : static_cast<double>(both) / fewer;
}

}  // namespace kelvanto::decode
