// SPDX-License-Identifier: MIT
// The exceptions that travel to the entry; everything else ends the process through fatal().
#pragma once

namespace Error {
struct badOutputFileName {};
struct endOfFile {};
}  // namespace Error
