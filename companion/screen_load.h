// SPDX-License-Identifier: MIT
// Which load of a tape image holds a screen, and its 1800 bytes: a screen load (format 2), or
// the load that a screen load becomes through a recording and decode.
#pragma once

#include <optional>

#include "companion/screen_picture.h"
#include "tape/tarqo_bin_file.h"

// The screen a load holds, or none. A screen load (format 2) holds it as the second half of
// its data, which its pairs interleave bit by bit with the first half. A recording keeps only
// the characters received, so a decoded screen load comes back as a binary load (.bin) or a
// plain load (.bml) of those characters; the screen is then found by undoing the interleave
// of each pair. Found by itself: every format 2 load, and a load of another format whose
// characters on tape are exactly those of a full screen load (3600 data bytes and the
// checksum: 3601 characters; the data cannot tell it from other bytes of that length). Named
// by the user (named = true): any load, the longer ones as a full screen load, the shorter
// ones (a load cut short by a dropout) as far as their characters go.
struct LoadScreen {
    ScreenBytes bytes{};
    std::size_t received = 0;  // screen bytes the load's characters hold; the rest are 0
};
std::optional<LoadScreen> screenOf(const TapeLoad& load, bool named);

// The position (from 1) of the first load that holds a screen by itself, or 0.
long firstScreenLoad(const TarqoBinFile& tape);

// A short account of the rule, for messages.
inline constexpr const char* screenLoadRule =
    "format 2, or 3601 characters on tape as a decoded screen load has";
