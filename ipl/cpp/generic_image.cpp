// SPDX-License-Identifier: MIT
// Abstract image base (see generic_image.h); the out-of-line destructor keeps the class's
// virtual table in this one file.
#include "ipl/cpp/generic_image.h"

namespace ipl {

CGenericImage::~CGenericImage() = default;

}  // namespace ipl
