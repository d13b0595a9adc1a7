// SPDX-License-Identifier: MIT
// Coefficients of the filter sections used to clean a recording before its edges are timed.
// The usual bilinear-transform recipes, with Q 0.7071 (maximally flat).
#include "decode/biquad.h"

#include <cmath>
#include <numbers>

namespace kelvanto::decode {

namespace {

constexpr double quality = 0.70710678118654752;

}  // namespace

Biquad Biquad::highPass(double sampleRate, double corner) {
    const double w = 2.0 * std::numbers::pi * corner / sampleRate;
    const double alpha = std::sin(w) / (2.0 * quality);
    const double c = std::cos(w);
    const double a0 = 1.0 + alpha;
    return Biquad((1.0 + c) / 2.0 / a0, -(1.0 + c) / a0, (1.0 + c) / 2.0 / a0, -2.0 * c / a0,
                  (1.0 - alpha) / a0);
}

Biquad Biquad::lowPass(double sampleRate, double corner) {
    const double w = 2.0 * std::numbers::pi * corner / sampleRate;
    const double alpha = std::sin(w) / (2.0 * quality);
    const double c = std::cos(w);
    const double a0 = 1.0 + alpha;
    return Biquad((1.0 - c) / 2.0 / a0, (1.0 - c) / a0, (1.0 - c) / 2.0 / a0, -2.0 * c / a0,
                  (1.0 - alpha) / a0);
}

}  // namespace kelvanto::decode
