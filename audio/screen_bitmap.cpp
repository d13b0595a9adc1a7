// Packs a 160 x 90 bitmap into a screen load: one byte per group of eight pixels of a row,
// written where the conversion run takes the second source of each interleaved pair.
#include "audio/screen_bitmap.h"

#include <iostream>

#include "app/fatal.h"
#include "ipl/cpp/image.h"

namespace {

constexpr int screenWidth = 160;
constexpr int screenHeight = 90;
constexpr int groupsPerRow = screenWidth / 8;

// Where each pixel of a group lands in its byte. The pair interleaving sends the byte's odd
// bits in the first character and its even bits in the second, so pixels 0 to 3 arrive as
// the top bits of the first character and pixels 4 to 7 as those of the second.
constexpr std::uint8_t pixelMask[8] = {0x80, 0x20, 0x08, 0x02, 0x40, 0x10, 0x04, 0x01};

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
                    byte = static_cast<std::uint8_t>(byte | pixelMask[k]);
                }
            }
            // A load too short for the picture would put bytes before its data; those
            // bytes could never be sent, so they are left out.
            const long index = static_cast<long>(halfLength) - 1 + groupsPerRow * y + g;
            if (index >= 0 && index < TapeLoad::dataSize) {
                load.dataBytes[static_cast<std::size_t>(index)] = byte;
            }
        }
    }
}
