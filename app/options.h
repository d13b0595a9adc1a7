// SPDX-License-Identifier: MIT
// The command line: option letters with their defaults, scanned the way the tool always has
// (joined or separate values, a lone dash skipped, the first plain word is the input).
#pragma once

#include <string>
#include <vector>

#include "audio/wav_file.h"

struct RunOptions {
    int bitsPerSample = WavFile::defaultBitsPerSample;
    int channels = WavFile::defaultChannels;
    double footerLength = -1.0;
    double gapLength = -1.0;
    double headerLength = -1.0;
    int sampleRate = WavFile::defaultSampleRate;
    std::string screenName;
    int verbosity = 1;
    std::string audioFileName;  // empty: derived from the input name
    std::string inputName;      // empty when every word was an option
};

// Numeric values are read from their first 19 characters, as atoi and atof read them; an
// integer beyond the 32-bit range becomes the nearest 32-bit value.
int optionInteger(const std::string& value);
double optionReal(const std::string& value);

// Scans the words after the program name. An unknown letter, a letter without a value and an
// over-long screen name end the run with their messages.
RunOptions scanOptions(const std::vector<std::string>& words);
