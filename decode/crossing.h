// SPDX-License-Identifier: MIT
// One zero crossing of the filtered signal: when it happened (in frames of the recording,
// with a fraction) and in which direction, with the peak of the half cycle it closes.
#pragma once

namespace kelvanto::decode {

struct Crossing {
    double time = 0.0;  // frame index with the sub-frame fraction from linear interpolation
    float peak = 0.0f;  // largest magnitude of the half cycle that this crossing ends
    bool rising = false;
};

}  // namespace kelvanto::decode
