// SPDX-License-Identifier: MIT
// Size checks of the image readers: bytes left in a file and whether a declared raster fits
// the record (see kernel_io_limits.h).
#include "ipl/kernel_c/kernel_io_limits.h"

#include <cstdint>

namespace ipl::detail {

bool BytesLeft(std::FILE* fp, std::uint64_t* pLeft) {
    const long position = std::ftell(fp);
    if (position < 0 || std::fseek(fp, 0, SEEK_END) != 0) {
        return false;
    }
    const long end = std::ftell(fp);
    if (std::fseek(fp, position, SEEK_SET) != 0 || end < position) {
        return false;
    }
    *pLeft = static_cast<std::uint64_t>(end - position);
    return true;
}

bool RasterFits(std::int64_t Width, std::int64_t Height, std::uint32_t Bits,
                std::uint16_t* pByteWidth, std::int32_t* pSizeImage) {
    if (Width < 1 || Height < 1 || Bits < 1 || Width > INT32_MAX || Height > INT32_MAX) {
        return false;
    }
    const std::uint64_t bitsPerRow = static_cast<std::uint64_t>(Width) * Bits;
    const std::uint64_t byteWidth = 4 * ((bitsPerRow + 31) / 32);
    if (byteWidth > UINT16_MAX) {
        return false;
    }
    const std::uint64_t size = byteWidth * static_cast<std::uint64_t>(Height);
    if (size > INT32_MAX) {
        return false;
    }
    *pByteWidth = static_cast<std::uint16_t>(byteWidth);
    *pSizeImage = static_cast<std::int32_t>(size);
    return true;
}

}  // namespace ipl::detail
