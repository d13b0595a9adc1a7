// SPDX-License-Identifier: MIT
// One second-order IIR section (transposed direct form II, double state so that low corner
// frequencies at high sample rates keep their precision).
#pragma once

namespace kelvanto::decode {

class Biquad {
  public:
    // Butterworth-like sections from the usual bilinear-transform recipes (Q 0.7071).
    static Biquad highPass(double sampleRate, double corner);
    static Biquad lowPass(double sampleRate, double corner);
    // Passes everything unchanged.
    static Biquad identity() { return Biquad(1.0, 0.0, 0.0, 0.0, 0.0); }

    // Takes the coefficients of another section and keeps this one's state, so that a
    // filter can follow a change of speed without starting over.
    void retune(const Biquad& other) {
        b0 = other.b0;
        b1 = other.b1;
        b2 = other.b2;
        a1 = other.a1;
        a2 = other.a2;
    }

    double process(double x) { return step(x, b0, b1, b2, a1, a2, z1, z2); }

    // One step of a section, for a value or for vector lanes of them (BiquadPair).
    template <typename T>
    static T step(T x, T b0, T b1, T b2, T a1, T a2, T& z1, T& z2) {
        const T y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }

  private:
    friend class BiquadPair;
    Biquad(double b0, double b1, double b2, double a1, double a2)
        : b0(b0), b1(b1), b2(b2), a1(a1), a2(a2) {}

    double b0, b1, b2, a1, a2;
    double z1 = 0.0;
    double z2 = 0.0;
};

}  // namespace kelvanto::decode
