// SPDX-License-Identifier: MIT
// Reader of Photo CD images (.pcd): three resolutions told apart by file length, luma and
// shared chroma per 2 x 2 block, converted to 24-bit blue, green, red.
#include <array>
#include <cstdint>
#include <cstdlib>

#include "ipl/kernel_c/image/kernel_functions.h"
#include "ipl/kernel_c/kernel_error.h"
#include "ipl/kernel_c/kernel_io.h"
#include "ipl/kernel_c/kernel_io_limits.h"

namespace ipl {

namespace {

constexpr long kSmallLength = 49152;    // 192 x 128
constexpr long kMediumLength = 196608;  // 384 x 256
constexpr long kLargeLength = 786432;   // 768 x 512 needs this much
constexpr long kLongestRead = 1048576;  // what a longer file counts as

// Where the picture data starts, the data is a sequence of row pairs: the luma of the upper
// row (width bytes), the luma of the lower row (width bytes), then the first and the second
// chroma value of each 2 x 2 block (width / 2 bytes each).
struct Resolution {
    std::int32_t Width;
    std::int32_t Height;
    std::size_t Offset;  // of the first row pair
};

// Integer colour conversion; x >> 8 on a negative value rounds towards minus infinity.
struct ColourTables {
    std::array<int, 256> Luma;         // (360 Y) >> 8
    std::array<int, 256> BlueFromC1;   // (512 C1 - 79872) >> 8
    std::array<int, 256> GreenFromC2;  // (35072 - 256 C2) >> 8
    std::array<int, 256> GreenFromC1;  // (13312 - 85 C1) >> 8
    std::array<int, 256> RedFromC2;    // (512 C2 - 70144) >> 8
    // The sums lie between -312 and 595; the clamp table covers them with room to spare.
    static constexpr int kClampOffset = 512;
    std::array<std::uint8_t, 1536> Clamp;
};

constexpr ColourTables MakeColourTables() {
    ColourTables tables{};
    for (int v = 0; v < 256; ++v) {
        tables.Luma[v] = (360 * v) >> 8;
        tables.BlueFromC1[v] = (512 * v - 79872) >> 8;
        tables.GreenFromC2[v] = (35072 - 256 * v) >> 8;
        tables.GreenFromC1[v] = (13312 - 85 * v) >> 8;
        tables.RedFromC2[v] = (512 * v - 70144) >> 8;
    }
    for (int i = 0; i < static_cast<int>(tables.Clamp.size()); ++i) {
        const int sum = i - ColourTables::kClampOffset;
        tables.Clamp[i] = static_cast<std::uint8_t>(sum < 0 ? 0 : sum > 255 ? 255 : sum);
    }
    return tables;
}

constexpr ColourTables kTables = MakeColourTables();

void PutPixel(std::uint8_t Y, std::uint8_t C1, std::uint8_t C2, std::uint8_t* pOut) {
    const int luma = kTables.Luma[Y] + ColourTables::kClampOffset;
    pOut[0] = kTables.Clamp[luma + kTables.BlueFromC1[C1]];
    pOut[1] = kTables.Clamp[luma + kTables.GreenFromC2[C2] + kTables.GreenFromC1[C1]];
    pOut[2] = kTables.Clamp[luma + kTables.RedFromC2[C2]];
}

bool Fail(const char* pText) {
    k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR, "%s", pText);
    return false;
}

// Row pair k becomes picture rows 2k and 2k + 1, which are stored from the end backwards.
void Convert(const std::uint8_t* pData, const Resolution& Size, TImage* pImage) {
    const std::size_t width = static_cast<std::size_t>(Size.Width);
    const std::size_t height = static_cast<std::size_t>(Size.Height);
    for (std::size_t k = 0; k < height / 2; ++k) {
        const std::uint8_t* upperLuma = pData + Size.Offset + k * 3 * width;
        const std::uint8_t* lowerLuma = upperLuma + width;
        const std::uint8_t* chroma1 = lowerLuma + width;
        const std::uint8_t* chroma2 = chroma1 + width / 2;
        std::uint8_t* upperRow = pImage->PixelData + (height - 1 - 2 * k) * pImage->ByteWidth;
        std::uint8_t* lowerRow = upperRow - pImage->ByteWidth;
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint8_t c1 = chroma1[x / 2];
            const std::uint8_t c2 = chroma2[x / 2];
            PutPixel(upperLuma[x], c1, c2, upperRow + 3 * x);
            PutPixel(lowerLuma[x], c1, c2, lowerRow + 3 * x);
        }
    }
}

}  // namespace

bool k_LoadPCD(std::FILE* fp, TImage* pImage) {
    std::uint64_t fileLength = 0;
    if (!detail::BytesLeft(fp, &fileLength)) {
        return Fail("k_LoadPCD() Failed reading image data");
    }
    if (fileLength < static_cast<std::uint64_t>(kSmallLength)) {
        return Fail("k_LoadPCD() probably not a PhotoCD image (too small)");
    }
    Resolution size{768, 512, 196608};
    if (fileLength == kSmallLength) {
        size = Resolution{192, 128, 8192};
    } else if (fileLength == kMediumLength) {
        size = Resolution{384, 256, 47104};
    } else if (fileLength < static_cast<std::uint64_t>(kLargeLength)) {
        // Too short for the largest resolution, which is the only one left.
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR,
                         "k_LoadPCD() probably not a PhotoCD image (%ld bytes match no "
                         "resolution)",
                         static_cast<long>(fileLength));
        return false;
    }
    // A longer file counts as 1 MiB long; only that much of it is read.
    const auto readLength = static_cast<std::size_t>(
        fileLength < static_cast<std::uint64_t>(kLongestRead) ? fileLength : kLongestRead);
    auto* data = static_cast<std::uint8_t*>(std::malloc(readLength));
    if (data == nullptr) {
        return Fail("k_LoadPCD() malloc error");
    }
    if (std::fread(data, 1, readLength, fp) != readLength) {
        std::free(data);
        return Fail("k_LoadPCD() Failed reading image data");
    }

    pImage->Width = size.Width;
    pImage->Height = size.Height;
    pImage->Bits = 24;
    pImage->BorderSize = 0;
    pImage->ByteWidth = static_cast<std::uint16_t>(k_GetByteWidth(size.Width, 24));
    pImage->SizeImage = pImage->ByteWidth * size.Height;
    pImage->PixelData =
        static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(pImage->SizeImage)));
    if (pImage->PixelData == nullptr) {
        std::free(data);
        return Fail("k_LoadPCD() malloc error");
    }
    Convert(data, size, pImage);
    std::free(data);
    return true;
}

}  // namespace ipl
