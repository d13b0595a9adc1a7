// SPDX-License-Identifier: MIT
// The one way the tool stops on an error: message to standard error, exit status 1.
// Tests and fuzz targets install a hook that throws instead, so one process can try many inputs.
#pragma once

#include <string>
#include <string_view>

// Messages that quote text from an input file pass it through printable() first.
#include "base/printable.h"

namespace kelvanto {

// Removes the registered temporary files (base/temporary_files.h), writes the message (which
// carries its own line end) to standard error and ends the process with exit status 1
// without unwinding. Standard output is flushed first so that progress lines and the error
// keep their order on a shared terminal.
[[noreturn]] void fatal(std::string_view message);

// Called with the message before anything is printed. A hook that throws takes over the
// error; a hook that returns lets the process end as usual.
using FatalHook = void (*)(std::string_view message);
void setFatalHook(FatalHook hook);
FatalHook currentFatalHook();

// Sets a hook for its lifetime and puts the previous one back.
class FatalHookScope {
  public:
    explicit FatalHookScope(FatalHook hook) : previous(currentFatalHook()) { setFatalHook(hook); }
    ~FatalHookScope() { setFatalHook(previous); }
    FatalHookScope(const FatalHookScope&) = delete;
    FatalHookScope& operator=(const FatalHookScope&) = delete;

  private:
    FatalHook previous;
};

// What the test and fuzz hook throws.
struct FatalError {
    std::string message;
};
void throwFatalError(std::string_view message);

}  // namespace kelvanto
