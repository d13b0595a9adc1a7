// SPDX-License-Identifier: MIT
// Paged storage of a load's data bytes (see load_data.h): a page is made at its first store.
#include "tape/load_data.h"

#include <algorithm>
#include <cstring>

void LoadData::set(std::size_t index, std::uint8_t value) {
    if (index >= capacity) {
        return;
    }
    const std::size_t page = index / pageSize;
    if (page >= directory.size()) {
        directory.resize(page + 1, 0);
    }
    if (directory[page] == 0) {
        pages.emplace_back();
        pages.back().fill(0);
        directory[page] = static_cast<std::uint8_t>(pages.size());
    }
    pages[directory[page] - 1u][index % pageSize] = value;
}

void LoadData::fill(std::uint8_t value) {
    for (std::size_t index = 0; index < capacity; ++index) {
        set(index, value);
    }
}

std::size_t LoadData::storedBytes() const {
    return directory.capacity() + pages.capacity() * sizeof(Page);
}

void LoadData::copyTo(std::uint8_t* out, std::size_t count) const {
    count = std::min(count, capacity);
    for (std::size_t page = 0; page * pageSize < count; ++page) {
        const std::size_t size = std::min(pageSize, count - page * pageSize);
        std::uint8_t* to = out + page * pageSize;
        if (page < directory.size() && directory[page] != 0) {
            std::memcpy(to, pages[directory[page] - 1u].data(), size);
        } else {
            std::memset(to, 0, size);
        }
    }
}

void LoadData::assign(const std::uint8_t* bytes, std::size_t count) {
    count = std::min(count, capacity);
    if (count == 0) {
        return;
    }
    const std::size_t pagesNeeded = (count + pageSize - 1) / pageSize;
    if (directory.size() < pagesNeeded) {
        directory.resize(pagesNeeded, 0);
    }
    pages.reserve(pages.size() + pagesNeeded);
    for (std::size_t page = 0; page < pagesNeeded; ++page) {
        const std::size_t size = std::min(pageSize, count - page * pageSize);
        if (directory[page] == 0) {
            pages.emplace_back();
            pages.back().fill(0);
            directory[page] = static_cast<std::uint8_t>(pages.size());
        }
        std::memcpy(pages[directory[page] - 1u].data(), bytes + page * pageSize, size);
    }
}
