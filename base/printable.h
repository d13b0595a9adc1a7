// SPDX-License-Identifier: MIT
// Text from an input file made safe to print in a message: control bytes and bytes above
// 0x7E are written as "\x" and two lower-case hex digits, so no terminal acts on them.
#pragma once

#include <string>
#include <string_view>

namespace kelvanto {

// Bytes below 0x20, 0x7F and every byte above become \xNN; all others stay as they are.
std::string printable(std::string_view text);

}  // namespace kelvanto
