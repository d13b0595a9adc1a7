// SPDX-License-Identifier: MIT
// The image class the tool uses: an image of 1, 8 or 24 bits per pixel read from a bitmap,
// greymap or Photo CD file, answering pixel queries.
#pragma once

#include <cstdint>

#include "ipl/cpp/std_image.h"

namespace ipl {

class CImage : public CStdImage {
  public:
    // An empty image: no pixels, no palette, origin EMPTY.
    CImage();
    ~CImage() override;

    // Reads a .bmp, .pgm or .pcd file, replacing the whole content. On failure a reason is
    // printed and false returned; after a failure while reading, only another Load or
    // destruction are meaningful.
    bool Load(const char* pPathFileName) override;

    // Prints the image information block and the region line on standard output.
    void PrintInfo() const override;

    // The pixel at (x, y): the palette index at 1 and 8 bits, blue + 256 green + 65536 red at
    // 24 bits. A position outside the image, or an image of another depth, is reported and
    // gives 0.
    std::uint32_t GetPixel(int x, int y) const override;
};

}  // namespace ipl
