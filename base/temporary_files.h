// SPDX-License-Identifier: MIT
// Files that a failed run must not leave behind (the audio file's temporary name until it is
// renamed over its target), removed by fatal() and by the signals that end a run.
#pragma once

#include <signal.h>

namespace kelvanto {

// Holds the termination signals (SIGINT, SIGTERM, SIGHUP) back for its lifetime, so that a
// file is created and registered, or renamed and forgotten, as one step.
class SignalHold {
  public:
    SignalHold();
    ~SignalHold();
    SignalHold(const SignalHold&) = delete;
    SignalHold& operator=(const SignalHold&) = delete;

  private:
    sigset_t saved;
};

// Remembers a file name to remove if the run fails; false when the name is too long or all
// places are taken (the caller then removes the file itself).
bool registerTemporaryFile(const char* path);
// Forgets a name (after the file was renamed or removed).
void forgetTemporaryFile(const char* path);
// Removes every remembered file. Async-signal-safe: only unlink() is called.
void removeTemporaryFiles() noexcept;

// SIGINT, SIGTERM and SIGHUP remove the remembered files and then end the process by the
// same signal, so a shell still sees how it ended; a signal ignored when the tool started
// (a job started in the background) stays ignored. SIGPIPE is ignored: a closed standard
// output is reported when the run is over (the audio file is finished first). SIGXFSZ too:
// a file-size limit then fails a write, which is reported like a full disk.
void installTerminationCleanup();

}  // namespace kelvanto
