// SPDX-License-Identifier: MIT
// The facts of the Tarqo machine and its tapes that more than one layer needs: load formats,
// the size of a load, the signal's framing, the screen geometry and the limits of names.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace machine {

// Load formats. 1 sends its bytes in order; 2 (a screen) and 3 (binary) send two halves of
// the data interleaved bit by bit. 1 and 2 are written as markup text, 3 as raw bytes.
inline constexpr int plainLoadFormat = 1;
inline constexpr int screenLoadFormat = 2;
inline constexpr int binaryLoadFormat = 3;
inline constexpr bool isLoadFormat(int format) {
    return format >= plainLoadFormat && format <= binaryLoadFormat;
}

// A load holds at most this many data bytes.
inline constexpr int loadDataSize = 8192;

// Every load starts with this character after its header tone; the checksum makes it and all
// characters of the load add up to checkSumTotal (modulo 256). The empty second half of a
// last pair is this filler.
inline constexpr std::uint8_t syncCharacter = 0xA5;
inline constexpr std::uint8_t checkSumTotal = 0xFF;
inline constexpr std::uint8_t fillerCharacter = 0xFF;
// The checksum that completes a load whose characters so far (sync character included) add
// up to sum: the loader checks that the sync character plus every character it counts,
// checksum included, is checkSumTotal modulo 256. The filler is not counted.
inline constexpr std::uint8_t checkSumCompleting(std::uint8_t sum) {
    return static_cast<std::uint8_t>(checkSumTotal - sum);
}
// The loader's sum over the characters it received after the sync character, checksum
// included: the sync character plus every one of them, modulo 256. A load is whole when it
// has characters and their sum is checkSumTotal.
inline constexpr std::uint8_t loadSum(std::span<const std::uint8_t> characters) {
    unsigned sum = syncCharacter;
    for (const std::uint8_t character : characters) {
        sum += character;
    }
    return static_cast<std::uint8_t>(sum);
}
inline constexpr bool loadSumRight(std::span<const std::uint8_t> characters) {
    return !characters.empty() && loadSum(characters) == checkSumTotal;
}

// Character positions (L) of a load: text loads send their data and one more position for the
// checksum; binary loads already hold it.
inline constexpr int characterPositions(int format, int length) {
    return format == binaryLoadFormat ? length : length + 1;
}
// Pairs sent (H), the ceiling of L / 2: pair j sends two characters, and a load of odd L
// closes with the filler.
inline constexpr int pairCount(int format, int length) {
    const int positions = characterPositions(format, length);
    return positions > 0 ? (positions + 1) / 2 : 0;
}
// Where the second source of pair 0 stands in an interleaved load's data: a screen load's
// second half (the picture) starts one byte before the middle, a binary load's at H.
inline constexpr int screenSecondHalfStart(int pairs) {
    return pairs - 1;
}
inline constexpr int secondHalfStart(int format, int length) {
    const int half = pairCount(format, length);
    return format == screenLoadFormat ? screenSecondHalfStart(half) : half;
}
// The most characters after the sync character that any load sends: a full text load's 8192
// data characters, its checksum and the filler.
inline constexpr int maxLoadCharacters = 2 * pairCount(plainLoadFormat, loadDataSize);
static_assert(maxLoadCharacters == 8194);

// A BASIC program: lines of number (low byte first), codes and this line end, closed by the
// bytes 0x00 0xFF, which read as the line number 0xFF00 that no line has.
inline constexpr std::uint8_t basicLineEnd = 0x0D;
inline constexpr int basicEndMarker = 0xFF00;

// Tones and gaps that a load has when its tape image says nothing else, in seconds.
inline constexpr double defaultHeaderLength = 1.0;
inline constexpr double defaultFooterLength = 0.25;

// The bit cycles, in frames of the 22050 grid: a 0 bit is 3150 Hz, a 1 bit 1575 Hz. Every
// bit is one square-wave cycle; header and footer tones are runs of 1 cycles.
inline constexpr int frameRate = 22050;
inline constexpr int zeroBitFrames = 7;
inline constexpr int oneBitFrames = 14;
inline constexpr int toneCycleFrames = oneBitFrames;
inline constexpr int bitFrames(int bit) {
    return bit != 0 ? oneBitFrames : zeroBitFrames;
}
// The same in seconds, and the tone's frequency (1575 Hz): a 1 lasts exactly two 0s.
inline constexpr double oneBitSeconds = static_cast<double>(oneBitFrames) / frameRate;
inline constexpr double zeroBitSeconds = static_cast<double>(zeroBitFrames) / frameRate;
inline constexpr double toneFrequency = static_cast<double>(frameRate) / toneCycleFrames;
// Whole 1 cycles of a tone that lasts at least these seconds on the 22050 grid.
inline constexpr int toneCyclesFilling(double seconds) {
    const double exact = seconds * frameRate / toneCycleFrames;
    const int whole = static_cast<int>(exact);
    return whole < exact ? whole + 1 : whole;
}
// The footer tone of a load whose tape image says nothing else, in 1 cycles.
inline constexpr int defaultFooterCycles = toneCyclesFilling(defaultFooterLength);

// A framed character: a start bit, eight data bits least significant first, a stop bit. The
// filler that closes a load of odd length follows a 1 in place of its start bit. After the
// header tone every load sends syncCharacter framed the usual way.
inline constexpr int startBit = 0;
inline constexpr int stopBit = 1;
inline constexpr int fillerStartBit = 1;
inline constexpr int dataBitsPerCharacter = 8;
inline constexpr int cyclesPerCharacter = dataBitsPerCharacter + 2;
// Frames of one framed character of this value after a start bit of this value.
inline constexpr int characterFrames(std::uint8_t value, int start) {
    // The 1 bits of the value, counted in pairs, then nibbles (no library call on any target).
    unsigned ones = value - ((value >> 1) & 0x55u);
    ones = (ones & 0x33u) + ((ones >> 2) & 0x33u);
    ones = (ones + (ones >> 4)) & 0x0Fu;
    return bitFrames(start) + bitFrames(stopBit) + static_cast<int>(ones) * bitFrames(1) +
           (dataBitsPerCharacter - static_cast<int>(ones)) * bitFrames(0);
}

// The screen: 160 x 90 pixels, a byte for each group of 8 pixels of a row.
inline constexpr int screenWidth = 160;
inline constexpr int screenHeight = 90;
inline constexpr int screenGroupsPerRow = screenWidth / 8;
inline constexpr int screenBytes = screenGroupsPerRow * screenHeight;
// The bit of the byte that shows pixel k of a group, counted from the left. A screen load
// interleaves its two halves bit by bit, so pixels 0 to 3 arrive as the top bits of the first
// character of a pair and pixels 4 to 7 as those of the second.
inline constexpr std::array<std::uint8_t, 8> pixelMasks = {0x80, 0x20, 0x08, 0x02,
                                                           0x40, 0x10, 0x04, 0x01};
// A screen load whose second half is exactly the screen (the load a picture fills whole).
// On tape its data and checksum are screenLoadLength + 1 characters.
inline constexpr int screenLoadLength = 2 * screenBytes;

// Names (tape name, audio file name, screen bitmap name) hold at most this many characters.
inline constexpr std::size_t maxNameLength = 255;

}  // namespace machine
