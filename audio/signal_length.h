// SPDX-License-Identifier: MIT
// How long a load lasts on tape in an audio format: the sum of its cycles on the 22050 grid
// (tones by the one tone rule, sync and framed characters) and its gap.
#pragma once

#include "tape/load_layout.h"
#include "tape/tape_load.h"

// Seconds of audio of one load in a file of these parameters.
double loadSeconds(const TapeLoad& load, int sampleRate, int bitsPerSample, int channels);
// The same for a load whose characters were already laid out.
double loadSeconds(const TapeLoad& load, const LoadCharacters& sent, int sampleRate,
                   int bitsPerSample, int channels);
