// SPDX-License-Identifier: MIT
// Reader of raw greymaps (.pgm, "P5"): text header, optional comment lines, then one byte
// per pixel, top row first, rows not padded.
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ipl/kernel_c/kernel_error.h"
#include "ipl/kernel_c/kernel_io.h"
#include "ipl/kernel_c/kernel_io_limits.h"
#include "ipl/kernel_c/kernel_palette.h"
#include "ipl/kernel_c/kernel_text.h"

namespace ipl {

namespace {

constexpr long long kNumberLimit = 1LL << 40;  // far beyond any size that could be read
// A comment line longer than this (its '#' and line end not counted) fails the load: no
// greymap needs one, and a line that never ends must not take memory without bound.
constexpr std::size_t kCommentLimit = 4096;

bool IsHeaderBlank(int c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Skips blanks, tabs and line ends; gives how many were skipped.
int SkipBlanks(std::FILE* fp) {
    int skipped = 0;
    int c = std::getc(fp);
    for (; IsHeaderBlank(c); c = std::getc(fp)) {
        ++skipped;
    }
    if (c != EOF) {
        std::ungetc(c, fp);
    }
    return skipped;
}

int DigitValue(int c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return 99;
}

// Reads an integer as the "%i" conversion does: leading white space, a sign, then decimal,
// octal after a leading 0 or hexadecimal after 0x. Values are held back at kNumberLimit so
// that nothing overflows. False when no digit was found.
bool ReadInteger(std::FILE* fp, long long* pValue) {
    int c = std::getc(fp);
    while (c != EOF && std::isspace(c)) {
        c = std::getc(fp);
    }
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = std::getc(fp);
    }
    int base = 10;
    long long value = 0;
    bool digits = false;
    if (c == '0') {
        digits = true;
        base = 8;
        const long afterZero = std::ftell(fp);
        c = std::getc(fp);
        if (c == 'x' || c == 'X') {
            const int next = std::getc(fp);
            if (DigitValue(next) < 16) {
                base = 16;
                c = next;
            } else {
                // "0x" without a hexadecimal digit is the number 0 followed by the 'x'.
                *pValue = 0;
                return afterZero >= 0 && std::fseek(fp, afterZero, SEEK_SET) == 0;
            }
        }
    }
    for (; c != EOF && DigitValue(c) < base; c = std::getc(fp)) {
        digits = true;
        value = value * base + DigitValue(c);
        if (value > kNumberLimit) {
            value = kNumberLimit;
        }
    }
    if (c != EOF) {
        std::ungetc(c, fp);
    }
    *pValue = negative ? -value : value;
    return digits;
}

// Reads a header number and the blanks after it, at least one of which must be there.
bool ReadHeaderNumber(std::FILE* fp, long long* pValue) {
    return ReadInteger(fp, pValue) && SkipBlanks(fp) > 0;
}

bool Fail(const char* pText) {
    k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR, "%s", pText);
    return false;
}

int ClampToInt(long long Value) {
    return static_cast<int>(Value < INT_MIN ? INT_MIN : Value > INT_MAX ? INT_MAX : Value);
}

// Comment lines are kept in the image's history as they are, line end included. False for a
// line over kCommentLimit characters.
bool ReadComments(std::FILE* fp, TImage* pImage) {
    int c = std::getc(fp);
    while (c == '#') {
        std::string line(1, '#');
        for (c = std::getc(fp); c != EOF && c != '\n'; c = std::getc(fp)) {
            if (line.size() > kCommentLimit) {
                return false;
            }
            line += static_cast<char>(c);
        }
        line += '\n';
        k_AddLine(&pImage->History, line.c_str());
        c = std::getc(fp);
    }
    if (c != EOF) {
        std::ungetc(c, fp);
    }
    return true;
}

}  // namespace

// The picture gets the standard grey palette, so that a pixel's value is its grey level.
bool k_LoadPGM(std::FILE* fp, TImage* pImage) {
    const int first = std::getc(fp);
    const int second = std::getc(fp);
    if (first == 'P' && second == '2') {
        return Fail("k_LoadPGM() PGM in ascii format not supported");
    }
    if (first != 'P' || second != '5') {
        return Fail("k_LoadPGM() Not a PGM file");
    }
    if (SkipBlanks(fp) == 0 || std::feof(fp)) {
        return Fail("k_LoadPGM() Invalid header (1)");
    }
    if (!ReadComments(fp, pImage)) {
        return Fail("k_LoadPGM() Failed reading image data");
    }
    long long width = 0;
    long long height = 0;
    long long greyLevels = 0;
    if (!ReadHeaderNumber(fp, &width) || !ReadHeaderNumber(fp, &height) ||
        !ReadInteger(fp, &greyLevels)) {
        return Fail("k_LoadPGM() Invalid header (2)");
    }
    if (greyLevels != 255) {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR,
                         "k_LoadPGM() Number of gray tones must be 255 (actual is %d)",
                         ClampToInt(greyLevels));
        return false;
    }

    pImage->Width = ClampToInt(width);
    pImage->Height = ClampToInt(height);
    pImage->Bits = 8;
    pImage->BorderSize = 0;
    std::uint16_t byteWidth = 0;
    std::int32_t sizeImage = 0;
    if (!detail::RasterFits(width, height, 8, &byteWidth, &sizeImage)) {
        return Fail("k_LoadPGM() Failed reading image data");
    }
    pImage->ByteWidth = byteWidth;
    pImage->SizeImage = sizeImage;
    k_CreatePal(8, pImage);

    // One byte (a blank or line end) separates the header from the pixels, which must all be
    // there before the block is allocated.
    std::uint64_t left = 0;
    const auto rowLength = static_cast<std::size_t>(width);
    const auto rows = static_cast<std::size_t>(height);
    if (std::getc(fp) == EOF || !detail::BytesLeft(fp, &left) ||
        left < std::uint64_t{rowLength} * rows) {
        return Fail("k_LoadPGM() Failed reading image data");
    }
    // calloc: the row padding is part of the block and should not hold stray bytes.
    pImage->PixelData =
        static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(sizeImage), 1));
    if (pImage->PixelData == nullptr) {
        return Fail("k_LoadPGM() Failed reading image data");
    }
    // The file's first row is the picture's top row, which is stored last.
    for (std::size_t row = 0; row < rows; ++row) {
        std::uint8_t* stored = pImage->PixelData + (rows - 1 - row) * byteWidth;
        if (std::fread(stored, 1, rowLength, fp) != rowLength) {
            return Fail("k_LoadPGM() Failed reading image data");
        }
    }
    return true;
}

}  // namespace ipl
