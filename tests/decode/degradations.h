// SPDX-License-Identifier: MIT
// What worn cassettes and recording chains do to a signal, as seeded and repeatable
// operations on test recordings (noise, speed, wow, filters, hum, clipping and the rest).
#pragma once

#include <functional>

#include "tests/decode/tape_maker.h"

namespace decode_testing {

// White noise over the full band at this ratio to the signal's power (the power measured
// where the recording is not silent).
void addNoise(Recording& recording, double snrDb, unsigned seed);
// Plays the recording back with a time warp: output time t reads input time warp(t). The
// result is band-limited (windowed sinc) and can have another sample rate.
Recording resample(
    const Recording& recording, int rate,
    const std::function<double(double)>& warp = [](double t) { return t; });
Recording speed(const Recording& recording, double factor);
// Wow and flutter as sinusoidal speed variations (depth as a fraction, e.g. 0.02 = 2 %).
Recording wowAndFlutter(const Recording& recording, double wowDepth, double wowHz,
                        double flutterDepth, double flutterHz);
void lowPass(Recording& recording, double corner);
void highPass(Recording& recording, double corner);
void scale(Recording& recording, double gain);
void addOffset(Recording& recording, double offset);
void clip(Recording& recording, double limit);
void quantise(Recording& recording, int bits);
// 50 Hz mains hum and its third harmonic, the fundamental as loud as the signal.
void addHum(Recording& recording, double amplitude);
// Slow level changes of this depth (0.3 = +-30 %).
void driftLevel(Recording& recording, double depth, double hz);
// Silence (zero) for this long, from this time on.
void dropout(Recording& recording, double atSeconds, double seconds);
// A mono recording as two channels: the second one late by this many seconds.
Recording stereoWithSkew(const Recording& mono, double skewSeconds);
// The channels of a recording added into one (half each, for two), as a mono input does.
Recording summedToMono(const Recording& recording);
// A mono recording as two channels, the first one replaced by noise of the signal's power.
Recording stereoWithNoiseChannel(const Recording& mono, unsigned seed);

// Plain linear interpolation to another rate, with no filter before it: what a cheap
// recorder or a careless conversion does. Above the new Nyquist frequency the harmonics of
// the square wave fold back into the band (aliasing).
Recording resampleLinear(const Recording& recording, int rate);

// A worn cassette played on a tired machine, by one severity number s (0 = perfect):
//  - wow of 2 s % at 0.5 Hz and flutter of 0.4 s % at 8 Hz,
//  - loss of high frequencies: a low-pass at 9000 / (1 + s) Hz (2 s: 3 kHz),
//  - dropouts of level: s dips per second on average, each 15 ms long, down to
//    max(0.1, 1 - 0.25 s) of the level (2 s: half the level),
//  - hiss: white noise at 36 - 8 s dB SNR (2 s: 20 dB).
// Seeded: the same seed gives the same tape.
Recording wornCassette(const Recording& recording, double severity, unsigned seed);

double signalPower(const Recording& recording);

}  // namespace decode_testing
