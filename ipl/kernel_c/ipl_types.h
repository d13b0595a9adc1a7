// SPDX-License-Identifier: MIT
// Plain records of the image layer: image, palette, file information and history text.
// They hold raw owned memory and are set up and released only by their k_ functions.
#pragma once

#include <cstdint>

namespace ipl {

// Where an image came from; EMPTY marks an image that holds nothing.
enum ORIGIN : std::int32_t { CAMERA = 0, DISC = 1, RAM = 2, EMPTY = 3 };

// Two signed 16-bit values, x then y (the offset added to every pixel coordinate).
struct T2DInt16 {
    std::int16_t x;
    std::int16_t y;
};

// Where a file was read from. Each text is owned (malloc) and null while unset.
struct TFileInfo {
    char* FileName;         // name with extension, without directory
    char* PathName;         // directory part ending with '/', empty when the name had none
    char* PathAndFileName;  // the name exactly as it was given
};

// A growable text. AllocatedChars counts the terminating null.
struct TString {
    std::uint32_t NumberOfChars;
    std::uint32_t AllocatedChars;
    char* pChars;
};

// The lines of a history text; every line ends with a line end.
struct TStringArray {
    std::uint32_t NumberOfStrings;
    std::uint32_t AllocatedStrings;
    TString* pStrings;
};

// History text of an image: one line per operation, stamped with date and time.
struct TIplText {
    std::uint8_t UseTime;
    std::uint8_t UseDate;
    std::uint32_t SearchPosition;  // for finding lines; nothing here searches
    char* pSearchText;
    TStringArray Lines;
    TFileInfo FileInfo;  // a file name for the text itself
};

// Palette: blue in the low byte of an entry, then green, then red, then the byte a bitmap
// file keeps in reserve.
struct TPalette {
    std::uint16_t PalEntries;
    std::uint32_t* PalValues;
};

// One raster image. The palette comes first, so an image converts to its TPalette.
// PixelData holds the rows bottom row first, each padded to ByteWidth bytes; RowTable[y]
// points at the first pixel of picture row y (0 = top) inside the left border and is valid
// for y from -BorderSize to Height + BorderSize - 1.
struct TImage : TPalette {
    TFileInfo FileInfo;
    TIplText History;
    ORIGIN Origin;
    std::int32_t Width;
    std::int32_t Height;
    std::uint16_t Bits;
    std::int32_t SizeImage;
    std::uint16_t ByteWidth;
    std::uint16_t BorderSize;
    T2DInt16 Origo;
    std::uint8_t** RowTable;
    std::uint8_t* PixelData;
    std::uint8_t** RowTableBlock;
};

}  // namespace ipl
