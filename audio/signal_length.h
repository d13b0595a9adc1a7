// How long a load lasts on tape, counted the way the conversion run writes it: whole tone
// cycles measured by the byte clock, the sync character, every framed character and the gap.
#pragma once

#include "tape/tape_load.h"

// Seconds of audio of one load in a file of these parameters.
double loadSeconds(const TapeLoad& load, int sampleRate, int bitsPerSample, int channels);
