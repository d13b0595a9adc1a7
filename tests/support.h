// SPDX-License-Identifier: MIT
// Shared test helpers: fatal errors as exceptions, scratch folders, files as bytes, and
// running the kelvanto binary with its two output streams and exit status captured.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/fatal.h"

namespace testing_support {

using Bytes = std::vector<unsigned char>;

// Runs a statement that must end the run with exactly this message.
#define EXPECT_FATAL(statement, expectedMessage)                              \
    do {                                                                      \
        try {                                                                 \
            statement;                                                        \
            ADD_FAILURE() << "expected a fatal error: " << (expectedMessage); \
        } catch (const kelvanto::FatalError& error) {                         \
            EXPECT_EQ(error.message, (expectedMessage));                      \
        }                                                                     \
    } while (0)

// A fresh empty folder below the system's temporary folder, removed on destruction.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    const std::filesystem::path& path() const { return dir; }
    std::string file(const std::string& name) const { return (dir / name).string(); }

  private:
    std::filesystem::path dir;
};

// Makes a folder the working folder for its lifetime; text loads write screen files there.
class ScopedWorkingDir {
  public:
    explicit ScopedWorkingDir(const std::filesystem::path& dir);
    ~ScopedWorkingDir();

  private:
    std::filesystem::path previous;
};

// Runs every test of a binary in a scratch working folder. Register it once per test file:
// ::testing::AddGlobalTestEnvironment(new ScratchWorkingDir).
class ScratchWorkingDir : public ::testing::Environment {
  public:
    void SetUp() override;
    void TearDown() override;

  private:
    std::unique_ptr<ScratchDir> scratch;
    std::unique_ptr<ScopedWorkingDir> working;
};

Bytes readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
void writeFile(const std::string& path, const Bytes& content);

struct RunResult {
    int status = -1;  // exit status, or 128 + signal number when killed by a signal
    std::string out;
    std::string err;
};

// Runs the kelvanto binary with these arguments in a working folder.
RunResult runKelvanto(const std::vector<std::string>& arguments, const std::string& workDir);
// In a child process: becomes the tool (behind KELVANTO_RUNNER's words, when set).
[[noreturn]] void execTool(const std::string& binary, const std::vector<std::string>& arguments);
// The same for kelvanto-tape, and for any program.
RunResult runKelvantoTape(const std::vector<std::string>& arguments, const std::string& workDir);
RunResult runProgram(const std::string& binary, const std::vector<std::string>& arguments,
                     const std::string& workDir);

// Path of a file in the source tree (examples, fixtures).
std::string sourcePath(const std::string& relative);
// A file of examples/ in the source tree.
inline std::string example(const std::string& name) {
    return sourcePath("examples/" + name);
}

}  // namespace testing_support
