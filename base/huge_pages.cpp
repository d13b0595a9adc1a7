// SPDX-License-Identifier: MIT
// Fresh memory costs a page fault per 4 KiB at its first touch, which for a buffer of several
// MB costs more than filling it (most of all in a virtual machine).
#include "base/huge_pages.h"

#include <sys/mman.h>

#include <cstdint>

namespace kelvanto {

void adviseHugePages(void* bytes, std::size_t size) {
    const auto start = reinterpret_cast<std::uintptr_t>(bytes);
    const std::uintptr_t from = (start + hugePageBytes - 1) / hugePageBytes * hugePageBytes;
    const std::uintptr_t to = (start + size) / hugePageBytes * hugePageBytes;
    if (to > from) {
        ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
    }
}

}  // namespace kelvanto
