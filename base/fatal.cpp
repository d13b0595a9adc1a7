// SPDX-License-Identifier: MIT
// The tool's single exit path for errors.
#include "base/fatal.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "base/temporary_files.h"

namespace kelvanto {

namespace {
FatalHook fatalHook = nullptr;
}

void setFatalHook(FatalHook hook) {
    fatalHook = hook;
}

FatalHook currentFatalHook() {
    return fatalHook;
}

void throwFatalError(std::string_view message) {
    throw FatalError{std::string(message)};
}

void fatal(std::string_view message) {
    if (fatalHook != nullptr) {
        fatalHook(message);
    }
    // The process ends without unwinding, so no destructor removes a half-written file.
    removeTemporaryFiles();
    std::cout.flush();
    std::cerr.write(message.data(), static_cast<std::streamsize>(message.size()));
    std::cerr.flush();
    std::exit(1);
}

}  // namespace kelvanto
