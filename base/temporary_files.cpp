// SPDX-License-Identifier: MIT
// The registry of temporary files and the signal handlers that clear it (temporary_files.h).
#include "base/temporary_files.h"

#include <signal.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstring>

namespace kelvanto {

namespace {

constexpr int slotCount = 4;
constexpr std::size_t slotSize = PATH_MAX;
constexpr int terminationSignals[] = {SIGINT, SIGTERM, SIGHUP};

// A slot is filled before it is marked used and unmarked before it is cleared, so a handler
// never reads a name being written.
char names[slotCount][slotSize];
volatile std::sig_atomic_t used[slotCount];

sigset_t terminationSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : terminationSignals) {
        sigaddset(&set, signal);
    }
    return set;
}

extern "C" void removeAndReraise(int signal) {
    removeTemporaryFiles();
    // SA_RESETHAND has restored the default action; the signal is delivered again as soon
    // as this handler returns.
    raise(signal);
}

}  // namespace

SignalHold::SignalHold() {
    const sigset_t set = terminationSet();
    sigprocmask(SIG_BLOCK, &set, &saved);
}

SignalHold::~SignalHold() {
    sigprocmask(SIG_SETMASK, &saved, nullptr);
}

bool registerTemporaryFile(const char* path) {
    const std::size_t length = std::strlen(path);
    if (length >= slotSize) {
        return false;
    }
    for (int slot = 0; slot < slotCount; ++slot) {
        if (used[slot] == 0) {
            std::memcpy(names[slot], path, length + 1);
            used[slot] = 1;
            return true;
        }
    }
    return false;
}

void forgetTemporaryFile(const char* path) {
    for (int slot = 0; slot < slotCount; ++slot) {
        if (used[slot] != 0 && std::strcmp(names[slot], path) == 0) {
            used[slot] = 0;
            names[slot][0] = '\0';
        }
    }
}

void removeTemporaryFiles() noexcept {
    for (int slot = 0; slot < slotCount; ++slot) {
        if (used[slot] != 0) {
            unlink(names[slot]);
            used[slot] = 0;
        }
    }
}

void installTerminationCleanup() {
    struct sigaction action {};
    action.sa_handler = removeAndReraise;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (const int signal : terminationSignals) {
        struct sigaction previous {};
        if (sigaction(signal, &action, &previous) == 0 && previous.sa_handler == SIG_IGN) {
            sigaction(signal, &previous, nullptr);
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace kelvanto
