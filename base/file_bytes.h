// Reading a whole input file into memory, refusing what is not a regular file (a FIFO, a
// device, a folder) at once, without blocking, and anything larger than a limit.
#pragma once

#include <cstddef>
#include <string>

// True with the file's bytes; false with the reason (the system's text, or a size message).
bool readRegularFile(const std::string& name, std::size_t limit, std::string& bytes,
                     std::string& reason);
