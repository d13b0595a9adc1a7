// SPDX-License-Identifier: MIT
// The weight of every pattern of wrong decisions that would move the loader's sum by a given
// amount: how many other readings a checksum leaves open beside the one a repair picks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kelvanto::decode {

// Each decision, if wrong, moves the sum by a known amount (a data bit of weight 2^k read
// as 1 by -2^k, read as 0 by +2^k) and is wrong with known odds. With independent
// decisions the total weight of all patterns that move the sum by d is the coefficient of
// d in the product of (1 + odds x^change) over every decision, modulo x^256 - 1; the
// pattern "nothing wrong" has weight 1. Decisions that share change and odds are added as
// one group, so a load of 8192 characters costs a few thousand small products.
class SumPosterior {
  public:
    SumPosterior();
    // count decisions that each move the sum by change when wrong, with these odds.
    void add(std::uint8_t change, double odds, std::size_t count);
    // The share of one pattern of this weight among all patterns moving the sum by residue:
    // its chance of being the true one. 0 when the weights are beyond reach.
    double share(std::uint8_t residue, double patternWeight) const;
    // The natural log of the whole weight of the patterns moving the sum by residue (the
    // pattern "nothing wrong", of weight 1, among them for residue 0); -infinity for none.
    double logWeight(std::uint8_t residue) const;

  private:
    std::array<double, 256> weights{};
    double logScale = 0.0;  // the weights are weights[i] * exp(logScale)
};

}  // namespace kelvanto::decode
