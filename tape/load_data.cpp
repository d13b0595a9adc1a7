// SPDX-License-Identifier: MIT
// Paged storage of a load's data bytes (see load_data.h): a page is made at its first store;
// shared bytes are read where they lie until the first store.
#include "tape/load_data.h"

#include <algorithm>
#include <cstring>

void LoadData::set(std::size_t index, std::uint8_t value) {
    if (index >= capacity) {
        return;
    }
    unshare();
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
    if (shared != nullptr) {
        const std::size_t held = std::min(count, sharedCount);
        std::memcpy(out, shared, held);
        std::memset(out + held, 0, count - held);
        return;
    }
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
    unshare();
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

void LoadData::share(std::shared_ptr<const std::string> from, std::size_t offset,
                     std::size_t count) {
    if (!from || offset >= from->size()) {
        return;
    }
    count = std::min({count, capacity, from->size() - offset});
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(from->data()) + offset;
    if (shared != nullptr || !pages.empty()) {
        // Bytes stored before stay where the new ones do not reach, as with assign().
        assign(bytes, count);
        return;
    }
    if (count > 0) {
        image = std::move(from);
        shared = bytes;
        sharedCount = count;
    }
}

void LoadData::unshare() {
    if (shared == nullptr) {
        return;
    }
    const std::uint8_t* bytes = shared;
    const std::size_t count = sharedCount;
    const std::shared_ptr<const std::string> keep = std::move(image);
    shared = nullptr;
    sharedCount = 0;
    assign(bytes, count);
}
