// SPDX-License-Identifier: MIT
// Palettes of the record level: release and the standard grey palettes (see
// kernel_palette.h).
#include "ipl/kernel_c/kernel_palette.h"

#include <cstdlib>

#include "ipl/kernel_c/kernel_error.h"

namespace ipl {

void k_InitPalette(TPalette* pPalette) {
    pPalette->PalEntries = 0;
    pPalette->PalValues = nullptr;
}

void k_EmptyPalette(TPalette* pPalette) {
    std::free(pPalette->PalValues);
    k_InitPalette(pPalette);
}

bool k_CreatePal(std::uint16_t Bits, TImage* pImage) {
    k_EmptyPalette(pImage);
    if (Bits == 24) {
        return true;
    }
    if (Bits != 1 && Bits != 8) {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR,
                         "k_CreatePal() Only possible for 1, 8 or 24 bit per pixel");
        return false;
    }
    const std::uint32_t entries = 1u << Bits;
    auto* values = static_cast<std::uint32_t*>(std::malloc(entries * sizeof(std::uint32_t)));
    if (values == nullptr) {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR, "k_CreatePal() Memory allocation failed");
        return false;
    }
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::uint32_t grey = i * 255 / (entries - 1);
        values[i] = grey + 256 * grey + 65536 * grey;
    }
    pImage->PalValues = values;
    pImage->PalEntries = static_cast<std::uint16_t>(entries);
    return true;
}

}  // namespace ipl
