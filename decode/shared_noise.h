// SPDX-License-Identifier: MIT
// How far the doubts of two readings of one load go together, so that agreeing takes count
// for as much as they are worth: two plays of one cassette share its flaws, a copy shares all.
#pragma once

#include <vector>

namespace kelvanto::decode {

// The evidence of each bit of a reading: log(likelihood of a 1 / of a 0), NaN where the
// reading gives none (a character it did not frame).
using BitEvidence = std::vector<double>;

// Of the bits that the reading with fewer doubts is in doubt of (evidence below half of its
// clearest bit's), the share that the other is in doubt of too, over the bits both give. Takes
// with hiss of their own are in doubt of other bits (the bench's two-take rows: 0 to 0.1); a
// copy of one recording (resampled, or through an MP3 codec) of many of the same (0.4 to 0.9),
// and the same recording given twice of all, 1. Without a doubtful bit, 1: nothing tells them
// apart.
//
// This stands for r, the correlation of the readings' errors: n readings whose evidence has
// mean m and spread s each add up to n m with a spread of s^2 n (1 + (n - 1) r), so their sum
// over 1 + (n - 1) r is the log odds of the joint reading, and a reading given twice leaves
// its odds as they were. Correlating the evidence itself does not do: some bits of a tape
// are harder than others in every take, so even independent takes correlate by 0.1 to 0.6.
double sharedNoise(const BitEvidence& a, const BitEvidence& b);

}  // namespace kelvanto::decode
