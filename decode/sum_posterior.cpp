// SPDX-License-Identifier: MIT
// Products of small polynomials modulo x^256 - 1, kept scaled so that no weight overflows.
// The binomial expansion of a group stops where its terms no longer count.
#include "decode/sum_posterior.h"

#include <algorithm>
#include <cmath>

namespace kelvanto::decode {

namespace {

constexpr double rescaleAbove = 1e200;
constexpr double negligible = 1e-18;

}  // namespace

SumPosterior::SumPosterior() {
    weights[0] = 1.0;
}

void SumPosterior::add(std::uint8_t change, double odds, std::size_t count) {
    if (count == 0 || !(odds > 0.0)) {
        return;
    }
    // (1 + odds x^change)^count: term k is C(count, k) odds^k at k * change.
    std::array<double, 256> group{};
    double groupLog = 0.0;
    double term = 1.0;
    double total = 0.0;
    const double mean = static_cast<double>(count) * odds;
    for (std::size_t k = 0;; ++k) {
        group[(k * change) & 0xFFu] += term;
        total += term;
        if (k == count) {
            break;
        }
        term *= odds * static_cast<double>(count - k) / static_cast<double>(k + 1);
        if (term<negligible * total&& static_cast<double>(k + 1)> mean) {
            break;
        }
        if (total > rescaleAbove) {
            for (double& g : group) {
                g /= rescaleAbove;
            }
            term /= rescaleAbove;
            total /= rescaleAbove;
            groupLog += std::log(rescaleAbove);
        }
    }
    std::array<double, 256> product{};
    for (std::size_t j = 0; j < 256; ++j) {
        if (group[j] == 0.0) {
            continue;
        }
        for (std::size_t i = 0; i < 256; ++i) {
            product[(i + j) & 0xFFu] += weights[i] * group[j];
        }
    }
    const double largest = *std::max_element(product.begin(), product.end());
    double scale = 1.0;
    if (largest > 0.0) {
        scale = 1.0 / largest;
    }
    for (std::size_t i = 0; i < 256; ++i) {
        weights[i] = product[i] * scale;
    }
    logScale += groupLog - std::log(scale);
}

double SumPosterior::share(std::uint8_t residue, double patternWeight) const {
    const double total = weights[residue];
    if (!(total > 0.0) || !(patternWeight > 0.0)) {
        return 0.0;
    }
    const double logShare = std::log(patternWeight) - std::log(total) - logScale;
    return std::min(1.0, std::exp(logShare));
}

double SumPosterior::logWeight(std::uint8_t residue) const {
    const double weight = weights[residue];
    return weight > 0.0 ? std::log(weight) + logScale : -HUGE_VAL;
}

}  // namespace kelvanto::decode
