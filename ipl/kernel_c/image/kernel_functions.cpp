// SPDX-License-Identifier: MIT
// Record-level image operations: empty state, release, row table, row sizes and the
// information block (see kernel_functions.h).
#include "ipl/kernel_c/image/kernel_functions.h"

#include <cstdio>
#include <cstdlib>

#include "ipl/kernel_c/kernel_error.h"
#include "ipl/kernel_c/kernel_io.h"
#include "ipl/kernel_c/kernel_palette.h"
#include "ipl/kernel_c/kernel_string.h"
#include "ipl/kernel_c/kernel_text.h"

namespace ipl {

void k_InitImage(TImage* pImage) {
    *pImage = TImage{};
    k_InitPalette(pImage);
    k_InitFileInfo(&pImage->FileInfo);
    k_InitText(&pImage->History);
    pImage->Origin = EMPTY;
}

void k_EmptyImage(TImage* pImage) {
    k_EmptyFileInfo(&pImage->FileInfo);
    k_EmptyText(&pImage->History);
    k_EmptyPalette(pImage);
    std::free(pImage->PixelData);
    std::free(pImage->RowTableBlock);
    pImage->PixelData = nullptr;
    pImage->RowTableBlock = nullptr;
    pImage->RowTable = nullptr;
    pImage->Width = 0;
    pImage->Height = 0;
    pImage->Bits = 0;
    pImage->BorderSize = 0;
    pImage->ByteWidth = 0;
    pImage->SizeImage = 0;
    pImage->Origo = T2DInt16{0, 0};
    pImage->Origin = EMPTY;
}

bool k_SetImageMatrix(TImage* pImage) {
    const std::int32_t border = pImage->BorderSize;
    const std::int64_t rows = std::int64_t{pImage->Height} + 2 * border;
    std::free(pImage->RowTableBlock);
    pImage->RowTableBlock = nullptr;
    pImage->RowTable = nullptr;
    if (rows <= 0 || pImage->PixelData == nullptr) {
        return true;  // nothing to address
    }
    auto** block = static_cast<std::uint8_t**>(
        std::calloc(static_cast<std::size_t>(rows), sizeof(std::uint8_t*)));
    if (block == nullptr) {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR,
                         "k_SetImageMatrix() Memory allocation failed");
        return false;
    }
    pImage->RowTableBlock = block;
    pImage->RowTable = block + border;

    // Row addresses skip the left border, which is a whole number of bytes only from 8 bits up.
    std::size_t skip = 0;
    switch (pImage->Bits) {
        case 1:
            skip = static_cast<std::size_t>(border / 8);
            break;
        case 8:
            skip = static_cast<std::size_t>(border);
            break;
        case 24:
            skip = 3 * static_cast<std::size_t>(border);
            break;
        default:
            k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR,
                             "k_SetImageMatrix() Only possible for 1, 8 or 24 bit per pixel");
            return false;
    }
    // The first stored row is the bottom row of the bordered picture.
    const std::size_t stride = k_GetByteWidth(
        static_cast<std::int32_t>(std::int64_t{pImage->Width} + 2 * border), pImage->Bits);
    for (std::int64_t i = 0; i < rows; ++i) {
        block[rows - 1 - i] = pImage->PixelData + static_cast<std::size_t>(i) * stride + skip;
    }
    return true;
}

std::uint32_t k_GetByteWidth(std::int32_t Width, std::uint16_t Bits) {
    const std::uint32_t bitsPerRow = static_cast<std::uint32_t>(Width) * Bits;
    return 4 * (bitsPerRow / 32 + (bitsPerRow % 32 != 0 ? 1 : 0));
}

void k_PrintImageInfo(const TImage* pImage) {
    char* origin = nullptr;
    const char* const notAvailable = "Not available";
    std::printf("**************** Image info ********************\n");
    std::printf(" Width=%ld Height=%ld ByteWidth=%d SizeImage=%ld Bits=%d\n",
                static_cast<long>(pImage->Width), static_cast<long>(pImage->Height),
                static_cast<int>(pImage->ByteWidth), static_cast<long>(pImage->SizeImage),
                static_cast<int>(pImage->Bits));
    k_PrintOrigin(pImage->Origin, &origin);
    std::printf(" PalEntries=%d BorderSize=%d Origo=(%d,%d) Origin=%s\n",
                static_cast<int>(pImage->PalEntries), static_cast<int>(pImage->BorderSize),
                static_cast<int>(pImage->Origo.x), static_cast<int>(pImage->Origo.y),
                origin != nullptr ? origin : "UNKNOWN?");
    std::free(origin);
    const TFileInfo& file = pImage->FileInfo;
    std::printf(" File name: %s ", file.FileName != nullptr ? file.FileName : notAvailable);
    std::printf(" Path name: %s\n", file.PathName != nullptr ? file.PathName : notAvailable);
}

bool k_PrintOrigin(ORIGIN Origin, char** ppName) {
    const char* name = "UNKNOWN?";
    switch (Origin) {
        case CAMERA:
            name = "CAMERA";
            break;
        case DISC:
            name = "DISC";
            break;
        case RAM:
            name = "RAM";
            break;
        case EMPTY:
            name = "EMPTY";
            break;
    }
    const bool known = Origin >= CAMERA && Origin <= EMPTY;
    if (!known) {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR,
                         "k_PrintOrigin() Unknown origin (should not be possible!)");
    }
    *ppName = k_CopyText(name);
    return known && *ppName != nullptr;
}

}  // namespace ipl
