// SPDX-License-Identifier: MIT
// Images held in one TImage record: the palette and history views refer into the record
// (see std_image.h).
#include "ipl/cpp/std_image.h"

namespace ipl {

// The wrappers only refer into the record, which the derived class sets up and frees.
CStdImage::CStdImage() : Palette(&KernelImage), History(&KernelImage.History) {}

CStdImage::~CStdImage() = default;

}  // namespace ipl
