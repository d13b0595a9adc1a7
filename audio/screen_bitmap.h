// SPDX-License-Identifier: MIT
// Packs the 160 x 90 pixels of a bitmap into the second half of a screen load's data, eight
// pixels a byte, in the bit order the machine's screen interleaving expects.
#pragma once

#include <string>

#include "tape/tape_load.h"

// Loads the bitmap (ending the run with "Unable to load bitmap " when it cannot be read),
// prints its information block and writes the 1800 packed bytes from index halfLength - 1.
void applyScreenBitmap(TapeLoad& load, int halfLength, const std::string& bitmapName);
