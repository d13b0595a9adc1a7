// SPDX-License-Identifier: MIT
// The 160 x 90 picture of a screen load's 1800 bytes, eight pixels a byte in the machine's
// bit order, as a PBM (P4) or a 1-bit BMP whose palette has black first.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/machine.h"

using ScreenBytes = std::array<std::uint8_t, machine::screenBytes>;

// A lit pixel is black: a 1 in the PBM, palette index 0 in the BMP, which is what the
// converter's -s reads as a lit pixel.
std::string pbmPicture(const ScreenBytes& screen);
std::string bmpPicture(const ScreenBytes& screen);
