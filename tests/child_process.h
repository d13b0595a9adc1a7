// SPDX-License-Identifier: MIT
// The kelvanto binary as a child process that a test can watch and signal: standard output
// into a pipe the test drains (or leaves full, so the child waits mid-run), limits and umask
// set before it starts, and how it ended with the peak memory it took.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support.h"

namespace testing_support {

// The binary the test binaries are built with: build/kelvanto beside build/tests/.
inline std::string kelvantoBinary() {
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    return (self.parent_path().parent_path() / "kelvanto").string();
}

// Whether the tool runs under a runner such as valgrind (KELVANTO_RUNNER), or the tests under
// AddressSanitizer: memory limits and peak memory mean nothing there.
inline bool memoryIsMeasurable() {
#if defined(__SANITIZE_ADDRESS__)
    return false;
#else
    const char* runner = std::getenv("KELVANTO_RUNNER");
    return runner == nullptr || *runner == '\0';
#endif
}

// The kelvanto-tape binary beside it.
inline std::string kelvantoTapeBinary() {
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    return (self.parent_path().parent_path() / "kelvanto-tape").string();
}

struct ChildSetup {
    std::string binary;  // empty: kelvanto
    std::string workDir = ".";
    std::string outputFile;    // standard output into this file; empty: into a pipe
    bool closeOutput = false;  // the pipe's reading end closed at once: every write fails
    int pipeSize = 0;          // bytes the pipe holds (0: the system's size)
    rlim_t fileSizeLimit = RLIM_INFINITY;
    rlim_t addressSpaceLimit = RLIM_INFINITY;
    mode_t umask = 022;
    bool closeStandardError = false;   // started with descriptor 2 closed (2>&-)
    bool closeStandardOutput = false;  // started with descriptor 1 closed (>&-)
};

struct ChildResult {
    int status = -1;  // exit status, or 128 + signal number when killed by a signal
    int signal = 0;   // the signal that ended it, or 0
    std::string out;
    std::string err;
    long peakKilobytes = 0;
};

class Child {
  public:
    Child(const std::vector<std::string>& arguments, const ChildSetup& setup = {}) {
        int pipeEnds[2] = {-1, -1};
        if (setup.outputFile.empty() && ::pipe(pipeEnds) != 0) {
            ADD_FAILURE() << "no pipe";
            return;
        }
        if (setup.pipeSize > 0) {
            ::fcntl(pipeEnds[1], F_SETPIPE_SZ, setup.pipeSize);
        }
        errPath = errDir.file("stderr");
        pid = ::fork();
        if (pid == 0) {
            start(arguments, setup, pipeEnds);
        }
        if (pipeEnds[1] >= 0) {
            ::close(pipeEnds[1]);
            output = pipeEnds[0];
            if (setup.closeOutput) {
                ::close(output);
                output = -1;
            }
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (output >= 0) {
            ::close(output);
        }
    }

    void signal(int number) const { ::kill(pid, number); }

    // Reads standard output until the child closes it, then waits for it to end. A child
    // that has not ended after the timeout is killed, and the result says so (status -1).
    ChildResult finish(std::chrono::seconds timeout = std::chrono::seconds(60)) {
        ChildResult result;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        bool late = false;
        while (output >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd ready{output, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) == 0) {
                late = true;
                break;
            }
            char block[4096];
            const ssize_t got = ::read(output, block, sizeof block);
            if (got <= 0) {
                break;
            }
            result.out.append(block, static_cast<std::size_t>(got));
        }
        int status = 0;
        rusage usage{};
        if (late) {
            // A child that hangs (a blocking open, say) is ended before it is waited for.
            ::kill(pid, SIGKILL);
        }
        for (;;) {
            const pid_t done = ::wait4(pid, &status, late ? 0 : WNOHANG, &usage);
            if (done == pid) {
                break;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                late = true;
                ::kill(pid, SIGKILL);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        pid = -1;
        if (late) {
            ADD_FAILURE() << "the child did not end within " << timeout.count() << " s";
            return result;
        }
        if (WIFEXITED(status)) {
            result.status = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            result.signal = WTERMSIG(status);
            result.status = 128 + result.signal;
        }
        std::ifstream err(errPath, std::ios::binary);
        result.err.assign(std::istreambuf_iterator<char>(err), {});
        result.peakKilobytes = usage.ru_maxrss;
        return result;
    }

  private:
    // In the child, after fork(): streams, umask and limits, then the binary.
    [[noreturn]] void start(const std::vector<std::string>& arguments, const ChildSetup& setup,
                            const int pipeEnds[2]) const {
        if (::chdir(setup.workDir.c_str()) != 0) {
            std::_Exit(126);
        }
        const int out = setup.outputFile.empty()
                            ? pipeEnds[1]
                            : ::open(setup.outputFile.c_str(), O_WRONLY | O_CREAT, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::dup2(in, 0);
        if (setup.closeStandardError) {
            ::close(2);
        }
        if (setup.closeStandardOutput) {
            ::close(1);
        }
        if (pipeEnds[0] >= 0) {
            ::close(pipeEnds[0]);
        }
        ::umask(setup.umask);
        const rlimit fileSize{setup.fileSizeLimit, setup.fileSizeLimit};
        const rlimit addressSpace{setup.addressSpaceLimit, setup.addressSpaceLimit};
        ::setrlimit(RLIMIT_FSIZE, &fileSize);
        ::setrlimit(RLIMIT_AS, &addressSpace);
        execTool(setup.binary.empty() ? kelvantoBinary() : setup.binary, arguments);
    }

    ScratchDir errDir;
    std::string errPath;
    pid_t pid = -1;
    int output = -1;
};

// The hidden entries of a folder: the temporary files an unfinished audio file leaves.
inline std::vector<std::string> hiddenFiles(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (!name.empty() && name[0] == '.') {
            names.push_back(name);
        }
    }
    return names;
}

// Waits until the condition holds; false when it still does not after the timeout.
inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::seconds timeout = std::chrono::seconds(60)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace testing_support
