// SPDX-License-Identifier: MIT
// Gives the memory of a tape image's bytes already read back to the system, whole pages only,
// so that a binary image and the loads read from it are not held in memory at once.
#pragma once

#include <cstddef>
#include <string>

class ReadBytesRelease {
  public:
    explicit ReadBytesRelease(std::string& bytes) : bytes(bytes) {}

    // Every whole page before the position goes back, once at least a MiB of them has
    // gathered. The bytes there read as zeros afterwards: only a binary image, which is read
    // straight on and never looked at again behind the reader, may be released this way.
    void before(std::size_t position);

  private:
    std::string& bytes;
    std::size_t released = 0;
};
