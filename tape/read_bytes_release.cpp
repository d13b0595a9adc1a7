// SPDX-License-Identifier: MIT
// Releasing the pages of a tape image's bytes behind the reader (madvise).
#include "tape/read_bytes_release.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace {
constexpr std::uintptr_t minimumRelease = std::uintptr_t{1} << 20;
}

void ReadBytesRelease::before(std::size_t position) {
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto base = reinterpret_cast<std::uintptr_t>(bytes.data());
    const std::uintptr_t start = (base + released + page - 1) / page * page;
    const std::uintptr_t end = (base + std::min(position, bytes.size())) / page * page;
    if (end >= start + minimumRelease) {
        ::madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTNEED);
        released = end - base;
    }
}
