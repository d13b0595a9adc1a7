// SPDX-License-Identifier: MIT
// Packs a 160 x 90 bitmap into a screen load: one byte per group of eight pixels of a row,
// written where the conversion run takes the second source of each interleaved pair.
#include "audio/screen_bitmap.h"

#include <iostream>

#include "base/fatal.h"
#include "base/machine.h"
#include "ipl/cpp/image.h"

namespace {

using machine::screenHeight;
constexpr int groupsPerRow = machine::screenGroupsPerRow;

}  // namespace

void applyScreenBitmap(TapeLoad& load, int halfLength, const std::string& bitmapName) {
    ipl::CImage image;
    if (!image.Load(bitmapName.c_str())) {
        std::cout.flush();
        kelvanto::fatal("Unable to load bitmap " + bitmapName + "\n");
    }
    image.PrintInfo();
    std::cout.flush();
    for (int y = 0; y < screenHeight; ++y) {
        for (int g = 0; g < groupsPerRow; ++g) {
            std::uint8_t byte = 0;
            for (int k = 0; k < 8; ++k) {
                // Palette index 0 (or a black 24-bit pixel) is a lit pixel on the screen.
                if (image.GetPixel(8 * g + k, y) == 0) {
                    byte = static_cast<std::uint8_t>(
                        byte | machine::pixelMasks[static_cast<std::size_t>(k)]);
                }
            }
            // A load too short for the picture would put bytes before its data; those
            // bytes could never be sent, so they are left out.
            const long index = static_cast<long>(machine::screenSecondHalfStart(halfLength)) +
                               groupsPerRow * y + g;
            load.setByte(index, byte);
        }
    }
}
