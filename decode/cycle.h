// SPDX-License-Identifier: MIT
// One full square-wave cycle as measured between two crossings of the same direction: where
// it starts, how long it lasts, where its middle edge fell and how strong it was.
#pragma once

namespace kelvanto::decode {

struct Cycle {
    double start = 0.0;      // frame of the recording (with fraction) of the opening edge
    double end = 0.0;        // frame of the closing edge
    double period = 0.0;     // seconds
    float middle = 0.5f;     // where the opposite edge fell, as a fraction of the period
    float amplitude = 0.0f;  // mean peak of the two half cycles
};

}  // namespace kelvanto::decode
