// SPDX-License-Identifier: MIT
// The data bytes of one load, at most 8192: kept in 64-byte pages that exist only where the
// tape image stored something, or shared where they lie in a binary tape image held in memory.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/machine.h"

class LoadData {
  public:
    static constexpr std::size_t capacity = machine::loadDataSize;
    static constexpr std::size_t pageSize = 64;

    // The byte at an index; 0 where nothing was stored, as in a fresh load, and past the end.
    std::uint8_t operator[](std::size_t index) const {
        if (shared != nullptr) {
            return index < sharedCount ? shared[index] : 0;
        }
        const std::size_t page = index / pageSize;
        if (page >= directory.size() || directory[page] == 0) {
            return 0;
        }
        return pages[directory[page] - 1u][index % pageSize];
    }

    // Stores a byte; an index past the load stores nothing (the reader refuses it first).
    void set(std::size_t index, std::uint8_t value);
    // Every byte of the load becomes the value.
    void fill(std::uint8_t value);
    // Stores count bytes (at most capacity) from index 0 on, page by page.
    void assign(const std::uint8_t* bytes, std::size_t count);
    // The count bytes (at most capacity) at offset in the image become the load's data without
    // a copy: a binary image holds each load's data in one run, so the image is kept once and
    // read straight from. The first store copies them into pages; the image is never written.
    void share(std::shared_ptr<const std::string> image, std::size_t offset, std::size_t count);
    // The first count bytes (at most capacity) in one contiguous run, page by page: what a
    // load sends is prepared from such a copy, never byte by byte through the pages.
    void copyTo(std::uint8_t* out, std::size_t count) const;

    // Bytes reserved for the data (pages and their directory), to check what a load costs;
    // shared bytes cost nothing beyond the image.
    std::size_t storedBytes() const;

  private:
    using Page = std::array<std::uint8_t, pageSize>;
    static constexpr std::size_t pageCount = capacity / pageSize;
    static_assert(pageCount <= 255, "a page's place must fit the directory's bytes");

    // Shared bytes become pages before a store.
    void unshare();

    // For each page number up to the highest one stored: its place in pages plus 1, or 0.
    std::vector<std::uint8_t> directory;
    std::vector<Page> pages;
    // The image the shared bytes lie in, kept alive by every load that reads from it.
    std::shared_ptr<const std::string> image;
    const std::uint8_t* shared = nullptr;
    std::size_t sharedCount = 0;
};
