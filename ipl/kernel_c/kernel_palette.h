// SPDX-License-Identifier: MIT
// Palettes of the record level: empty state, release, and the standard grey palettes that
// images read without a palette of their own (greymaps) are given.
#pragma once

#include <cstdint>

#include "ipl/kernel_c/ipl_types.h"

namespace ipl {

// No entries, no memory.
void k_InitPalette(TPalette* pPalette);

// Frees the entries and leaves the palette empty.
void k_EmptyPalette(TPalette* pPalette);

// Replaces the image's palette by the standard one of a depth: 2^Bits grey levels from black
// to white at 1 and 8 bits (entry i of the 8-bit palette is i + 256 i + 65536 i), none at 24.
bool k_CreatePal(std::uint16_t Bits, TImage* pImage);

}  // namespace ipl
