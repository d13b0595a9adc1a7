// SPDX-License-Identifier: MIT
// Two filter sections run side by side in the two lanes of one vector (the two channels of a
// stereo recording through the same filter): Biquad's arithmetic with half the instructions.
#pragma once

#include "decode/biquad.h"

namespace kelvanto::decode {

// The filters of a stereo recording cost a third of the decoder's time, and the two channels'
// sections do the same sums on other samples: one vector instruction does both. The lanes
// are the compilers' portable vector extension, which every target lowers to its vector
// unit (or to plain pairs of instructions where it has none); the results are Biquad's own.
class BiquadPair {
  public:
    using Lanes = double __attribute__((vector_size(2 * sizeof(double))));

    // Takes the two sections' coefficients and states; store() hands the states back.
    BiquadPair(const Biquad& left, const Biquad& right)
        : b0{left.b0, right.b0},
          b1{left.b1, right.b1},
          b2{left.b2, right.b2},
          a1{left.a1, right.a1},
          a2{left.a2, right.a2},
          z1{left.z1, right.z1},
          z2{left.z2, right.z2} {}

    void store(Biquad& left, Biquad& right) const {
        left.z1 = z1[0];
        left.z2 = z2[0];
        right.z1 = z1[1];
        right.z2 = z2[1];
    }

    Lanes process(Lanes x) { return Biquad::step(x, b0, b1, b2, a1, a2, z1, z2); }

  private:
    Lanes b0, b1, b2, a1, a2;
    Lanes z1, z2;
};

}  // namespace kelvanto::decode
