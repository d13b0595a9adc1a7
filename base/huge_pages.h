// SPDX-License-Identifier: MIT
// Asking for transparent huge pages where a buffer of several MB is touched for the first time:
// one page fault per 2 MiB instead of one per 4 KiB.
#pragma once

#include <cstddef>

namespace kelvanto {

constexpr std::size_t hugePageBytes = std::size_t{1} << 21;

// Advises the kernel to back the whole 2 MiB pages inside the range with huge pages. Where the
// kernel does not give them on request the advice is ignored and nothing changes.
void adviseHugePages(void* bytes, std::size_t size);

}  // namespace kelvanto
