// SPDX-License-Identifier: MIT
// Images of 1, 8 or 24 bits per pixel held in one TImage record, with object-level views
// of the record's palette and history.
#pragma once

#include <cstdint>

#include "ipl/cpp/generic_image.h"
#include "ipl/cpp/palette.h"
#include "ipl/cpp/text.h"
#include "ipl/kernel_c/ipl_types.h"

namespace ipl {

class CStdImage : public CGenericImage {
  public:
    ~CStdImage() override;

    // The pixel at column x (to the right) and row y (downwards); (0,0) is top left.
    virtual std::uint32_t GetPixel(int x, int y) const = 0;

    // Read access to the record, for callers that look at sizes, palette or history.
    const TImage* GetConstTImagePtr() const { return &KernelImage; }

  protected:
    CStdImage();

    // The record comes first: the palette and history views are made from its address.
    TImage KernelImage{};
    CPalette Palette;
    CText History;
};

}  // namespace ipl
