// SPDX-License-Identifier: MIT
// Windows bitmaps built in memory for tests: 1, 8 or 24 bits per pixel, uncompressed, with the
// 40-byte information header, rows stored bottom first and padded to a multiple of 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace testing_support {

// Offsets of the header fields that tests change to make malformed files.
namespace bmp_field {
inline constexpr std::size_t kType = 0;
inline constexpr std::size_t kPixelOffset = 10;
inline constexpr std::size_t kInfoSize = 14;
inline constexpr std::size_t kWidth = 18;
inline constexpr std::size_t kHeight = 22;
inline constexpr std::size_t kBits = 28;
inline constexpr std::size_t kCompression = 30;
}  // namespace bmp_field

// Writes a little-endian number of `size` bytes at an offset.
inline void putLittleEndian(std::vector<unsigned char>& bytes, std::size_t offset,
                            std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes.at(offset + static_cast<std::size_t>(i)) =
            static_cast<unsigned char>(value >> (8 * i));
    }
}

// The palette a bitmap of a depth gets unless the caller names one: black and white at 1 bit,
// 256 grey levels at 8 bits, none at 24. Entries are blue + 256 green + 65536 red.
inline std::vector<std::uint32_t> defaultPalette(int bits) {
    std::vector<std::uint32_t> palette;
    if (bits == 1) {
        palette = {0x000000, 0xFFFFFF};
    } else if (bits == 8) {
        for (std::uint32_t i = 0; i < 256; ++i) {
            palette.push_back(i * 0x010101);
        }
    }
    return palette;
}

// A bitmap whose pixel (x, y), y = 0 at the top, is pixel(x, y): a palette index at 1 and 8
// bits, blue + 256 green + 65536 red at 24 bits.
inline std::vector<unsigned char> makeBitmap(int width, int height, int bits,
                                             const std::function<std::uint32_t(int, int)>& pixel,
                                             std::vector<std::uint32_t> palette = {}) {
    if (palette.empty()) {
        palette = defaultPalette(bits);
    }
    const std::size_t rowBytes =
        4 * ((static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32);
    const std::size_t pixelOffset = 54 + 4 * palette.size();
    const std::size_t fileSize = pixelOffset + rowBytes * static_cast<std::size_t>(height);
    std::vector<unsigned char> bytes(fileSize, 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    putLittleEndian(bytes, 2, static_cast<std::uint32_t>(fileSize), 4);
    putLittleEndian(bytes, bmp_field::kPixelOffset, static_cast<std::uint32_t>(pixelOffset), 4);
    putLittleEndian(bytes, bmp_field::kInfoSize, 40, 4);
    putLittleEndian(bytes, bmp_field::kWidth, static_cast<std::uint32_t>(width), 4);
    putLittleEndian(bytes, bmp_field::kHeight, static_cast<std::uint32_t>(height), 4);
    putLittleEndian(bytes, 26, 1, 2);
    putLittleEndian(bytes, bmp_field::kBits, static_cast<std::uint32_t>(bits), 2);
    putLittleEndian(bytes, 34, static_cast<std::uint32_t>(rowBytes * height), 4);
    putLittleEndian(bytes, 46, static_cast<std::uint32_t>(palette.size()), 4);
    for (std::size_t i = 0; i < palette.size(); ++i) {
        putLittleEndian(bytes, 54 + 4 * i, palette[i], 4);
    }
    for (int y = 0; y < height; ++y) {
        unsigned char* row =
            bytes.data() + pixelOffset + rowBytes * static_cast<std::size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t value = pixel(x, y);
            if (bits == 1) {
                if ((value & 1) != 0) {
                    row[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
                }
            } else if (bits == 8) {
                row[x] = static_cast<unsigned char>(value);
            } else {
                row[3 * x] = static_cast<unsigned char>(value);
                row[3 * x + 1] = static_cast<unsigned char>(value >> 8);
                row[3 * x + 2] = static_cast<unsigned char>(value >> 16);
            }
        }
    }
    return bytes;
}

}  // namespace testing_support
