// SPDX-License-Identifier: MIT
// Checks the image readers share before they allocate: what is left of a file, and whether
// a raster's declared size fits the image record.
#pragma once

#include <cstdint>
#include <cstdio>

namespace ipl::detail {

// Bytes from the current position to the end of the file; the position is kept.
bool BytesLeft(std::FILE* fp, std::uint64_t* pLeft);

// Whether Width x Height pixels of Bits bits fit the record: both sizes and the depth at
// least 1, the padded row within the 16 bits of ByteWidth and the whole block within the
// 31 bits of SizeImage. Gives the row and block sizes when they fit.
bool RasterFits(std::int64_t Width, std::int64_t Height, std::uint32_t Bits,
                std::uint16_t* pByteWidth, std::int32_t* pSizeImage);

}  // namespace ipl::detail
