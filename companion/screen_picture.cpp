// SPDX-License-Identifier: MIT
// Picture files of a screen: the PBM raw bitmap and the Windows BMP with a two-entry palette.
#include "companion/screen_picture.h"

namespace {

using machine::screenGroupsPerRow;
using machine::screenHeight;

bool lit(const ScreenBytes& screen, int x, int y) {
    const std::uint8_t byte = screen[static_cast<std::size_t>(y * screenGroupsPerRow + x / 8)];
    return (byte & machine::pixelMasks[static_cast<std::size_t>(x % 8)]) != 0;
}

// One row of the picture, eight pixels a byte from the top bit, a 1 bit where `one` says.
std::string row(const ScreenBytes& screen, int y, bool litIsOne) {
    std::string bytes(static_cast<std::size_t>(screenGroupsPerRow), '\0');
    for (int x = 0; x < machine::screenWidth; ++x) {
        if (lit(screen, x, y) == litIsOne) {
            bytes[static_cast<std::size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
        }
    }
    return bytes;
}

void putLittleEndian(std::string& out, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

}  // namespace

std::string pbmPicture(const ScreenBytes& screen) {
    std::string out =
        "P4\n" + std::to_string(machine::screenWidth) + " " + std::to_string(screenHeight) + "\n";
    for (int y = 0; y < screenHeight; ++y) {
        out += row(screen, y, true);
    }
    return out;
}

std::string bmpPicture(const ScreenBytes& screen) {
    // 20 bytes a row is already a multiple of four, so rows need no padding.
    constexpr std::uint32_t pixelOffset = 14 + 40 + 2 * 4;
    const auto imageSize = static_cast<std::uint32_t>(screenGroupsPerRow * screenHeight);
    std::string out = "BM";
    putLittleEndian(out, pixelOffset + imageSize, 4);
    putLittleEndian(out, 0, 4);
    putLittleEndian(out, pixelOffset, 4);
    putLittleEndian(out, 40, 4);
    putLittleEndian(out, machine::screenWidth, 4);
    putLittleEndian(out, screenHeight, 4);
    putLittleEndian(out, 1, 2);  // planes
    putLittleEndian(out, 1, 2);  // bits per pixel
    putLittleEndian(out, 0, 4);  // no compression
    putLittleEndian(out, imageSize, 4);
    putLittleEndian(out, 2835, 4);  // 72 dots per inch
    putLittleEndian(out, 2835, 4);
    putLittleEndian(out, 2, 4);  // palette entries
    putLittleEndian(out, 2, 4);
    putLittleEndian(out, 0x00000000, 4);  // black: lit
    putLittleEndian(out, 0x00FFFFFF, 4);  // white
    for (int y = screenHeight - 1; y >= 0; --y) {
        out += row(screen, y, false);
    }
    return out;
}
