// SPDX-License-Identifier: MIT
// Record-level operations on an image (TImage): empty state, release, the row table that
// gives pixel access, row sizes and the printed information block.
#pragma once

#include <cstdint>

#include "ipl/kernel_c/ipl_types.h"

namespace ipl {

// Sets a record that holds no memory yet to the empty state.
void k_InitImage(TImage* pImage);

// Frees everything the image holds and resets it to the empty state.
void k_EmptyImage(TImage* pImage);

// (Re)builds RowTableBlock and RowTable from Width, Height, Bits, BorderSize and PixelData.
// Only depths of 1, 8 and 24 bits get row addresses.
bool k_SetImageMatrix(TImage* pImage);

// Bytes per stored row of Width pixels of Bits bits: rows are padded to a multiple of 4
// bytes. Computed in unsigned 32-bit arithmetic.
std::uint32_t k_GetByteWidth(std::int32_t Width, std::uint16_t Bits);

// Prints the image information block on standard output.
void k_PrintImageInfo(const TImage* pImage);

// A malloc'd copy of the origin's printed name, which the caller frees; an unknown value is
// reported and named "UNKNOWN?".
bool k_PrintOrigin(ORIGIN Origin, char** ppName);

}  // namespace ipl
