// Zero crossings with hysteresis relative to the local amplitude.
#include "decode/crossing_detector.h"

#include <algorithm>
#include <cmath>

namespace kelvanto::decode {

CrossingDetector::CrossingDetector(double sampleRate)
    : envelopeAlpha(1.0 - std::exp(-1.0 / (sampleRate * envelopeSeconds))) {}

void CrossingDetector::process(std::span<const float> samples, std::vector<Crossing>& out) {
    for (const float x : samples) {
        const float magnitude = std::fabs(x);
        envelope += envelopeAlpha * (magnitude - envelope);
        const float trigger =
            static_cast<float>(std::max(hysteresisFraction * envelope, floorLevel));
        const double index = static_cast<double>(position);
        halfPeak = std::max(halfPeak, magnitude);
        if (high) {
            if (previous >= 0.0f && x < 0.0f) {
                lastZero = index - 1.0 + static_cast<double>(previous / (previous - x));
            }
            if (x < -trigger) {
                out.push_back(Crossing{lastZero, halfPeak, false});
                high = false;
                halfPeak = magnitude;
            }
        } else {
            if (previous <= 0.0f && x > 0.0f) {
                lastZero = index - 1.0 + static_cast<double>(previous / (previous - x));
            }
            if (x > trigger) {
                out.push_back(Crossing{lastZero, halfPeak, true});
                high = true;
                halfPeak = magnitude;
            }
        }
        previous = x;
        ++position;
    }
}

}  // namespace kelvanto::decode
