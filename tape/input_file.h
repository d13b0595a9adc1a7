// SPDX-License-Identifier: MIT
// Reading a tape image file whole into memory: only regular files of bounded size, checked
// before the first read so that a FIFO, a device or a folder can never block the run.
#pragma once

#include <cstddef>
#include <string>

struct InputFile {
    enum class Status { read, unableToOpen, tooLarge };
    Status status = Status::unableToOpen;
    // The file's bytes; after a read error in the middle, the bytes read before it.
    std::string bytes;
    // Why it was not read, in the system's words ("No such file or directory", "Is a
    // directory", "Not a regular file") or as the size bound.
    std::string reason;
};

// Opens without blocking (O_NONBLOCK), refuses anything but a regular file (fstat) and any
// file of more than maxSize bytes, even one that grows while it is read.
InputFile readInputFile(const std::string& fileName, std::size_t maxSize);
