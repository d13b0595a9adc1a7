// SPDX-License-Identifier: MIT
// Reader of Windows bitmaps (.bmp) with the 40-byte information header: header, palette,
// then uncompressed rows bottom first, padded to 4 bytes - TImage's own pixel layout.
#include <bit>
#include <cstdint>
#include <cstdlib>

#include "ipl/kernel_c/image/kernel_functions.h"
#include "ipl/kernel_c/kernel_error.h"
#include "ipl/kernel_c/kernel_io.h"
#include "ipl/kernel_c/kernel_io_limits.h"

namespace ipl {

namespace {

constexpr std::size_t kHeaderSize = 54;
constexpr std::uint16_t kFileType = 0x4D42;  // "BM"
constexpr std::uint32_t kInfoHeaderSize = 40;

// All numbers in a bitmap file are little-endian.
std::uint16_t Word(const std::uint8_t* pBytes) {
    return static_cast<std::uint16_t>(pBytes[0] | pBytes[1] << 8);
}

std::uint32_t Long(const std::uint8_t* pBytes) {
    return std::uint32_t{pBytes[0]} | std::uint32_t{pBytes[1]} << 8 |
           std::uint32_t{pBytes[2]} << 16 | std::uint32_t{pBytes[3]} << 24;
}

bool FailReading() {
    k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR, "k_LoadBMP() Failed reading image data");
    return false;
}

// The palette bytes, read as stored: entries of blue, green, red and a reserved byte, which
// as a little-endian 32-bit value is the entry layout of TPalette.
bool ReadPalette(std::FILE* fp, std::uint32_t PaletteBytes, TImage* pImage) {
    const std::size_t words = (std::size_t{PaletteBytes} + 3) / 4;
    auto* values = static_cast<std::uint32_t*>(std::calloc(words, sizeof(std::uint32_t)));
    if (values == nullptr) {
        return false;
    }
    pImage->PalValues = values;
    pImage->PalEntries = static_cast<std::uint16_t>(PaletteBytes / 4);
    if (std::fread(values, 1, PaletteBytes, fp) != PaletteBytes) {
        return false;
    }
    if constexpr (std::endian::native == std::endian::big) {
        for (std::size_t i = 0; i < words; ++i) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(&values[i]);
            values[i] = Long(bytes);
        }
    }
    return true;
}

}  // namespace

bool k_LoadBMP(std::FILE* fp, TImage* pImage) {
    std::uint8_t header[kHeaderSize];
    const std::size_t got = std::fread(header, 1, kHeaderSize, fp);
    if (got >= 2 && Word(header) != kFileType) {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR, "k_LoadBMP() Not a BMP file");
        return false;
    }
    if (got < kHeaderSize) {
        return FailReading();  // the file ends inside its header
    }
    const std::uint32_t pixelOffset = Long(header + 10);
    const std::uint32_t infoSize = Long(header + 14);
    const auto width = static_cast<std::int32_t>(Long(header + 18));
    const auto height = static_cast<std::int32_t>(Long(header + 22));
    const std::uint16_t bits = Word(header + 28);
    const std::uint32_t compression = Long(header + 30);

    // The sizes are recorded before the format is judged, as the header gives them.
    pImage->Width = width;
    pImage->Height = height;
    pImage->ByteWidth = static_cast<std::uint16_t>(k_GetByteWidth(width, bits));
    pImage->SizeImage = static_cast<std::int32_t>(std::uint32_t{pImage->ByteWidth} *
                                                  static_cast<std::uint32_t>(height));
    pImage->Bits = bits;
    pImage->BorderSize = 0;

    if (infoSize != kInfoHeaderSize) {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR, "k_LoadBMP() Not a windows BMP file");
        return false;
    }
    if (compression != 0) {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR,
                         "k_LoadBMP() Cannot read compressed BMP files");
        return false;
    }

    // Nothing is allocated before the file is known to hold all that the header declares.
    // Rows stored top first (negative height) are not read.
    const std::uint32_t paletteBytes =
        pixelOffset > kHeaderSize ? pixelOffset - static_cast<std::uint32_t>(kHeaderSize) : 0;
    std::uint16_t byteWidth = 0;
    std::int32_t sizeImage = 0;
    std::uint64_t left = 0;
    if (!detail::RasterFits(width, height, bits, &byteWidth, &sizeImage) ||
        paletteBytes / 4 > UINT16_MAX || !detail::BytesLeft(fp, &left) ||
        left < std::uint64_t{paletteBytes} + static_cast<std::uint64_t>(sizeImage)) {
        return FailReading();
    }
    if (paletteBytes > 0 && !ReadPalette(fp, paletteBytes, pImage)) {
        return FailReading();
    }
    const auto size = static_cast<std::size_t>(sizeImage);
    pImage->PixelData = static_cast<std::uint8_t*>(std::malloc(size));
    if (pImage->PixelData == nullptr || std::fread(pImage->PixelData, 1, size, fp) != size) {
        return FailReading();
    }
    return true;
}

}  // namespace ipl
