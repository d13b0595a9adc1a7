// SPDX-License-Identifier: MIT
// Shared test helpers (see support.h).
#include "tests/support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

namespace testing_support {

namespace {

// Every test binary turns fatal errors into exceptions, so one process can check many.
const bool hookInstalled = [] {
    kelvanto::setFatalHook(&kelvanto::throwFatalError);
    return true;
}();

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

#if defined(__SANITIZE_ADDRESS__)
#define KELVANTO_TESTS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer)
#define KELVANTO_TESTS_SANITIZED 1
#endif
#endif

#if defined(KELVANTO_TESTS_SANITIZED)
extern "C" void __sanitizer_set_report_fd(void* fd);

// A test that captures standard error would swallow a sanitizer report of its own process:
// reports go to a copy of standard error taken before any capture.
const bool reportsToRealStderr = [] {
    const int fd = ::dup(2);
    if (fd >= 0) {
        __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)));
    }
    return true;
}();
#endif

// The sanitizers of a child stop it at the first report and write the report to a file of
// the capture folder (name.PID), which runKelvanto reads: the tool's own standard error
// stays as the test expects it, and a report fails the test whatever the status.
void setSanitizerOptions(const std::string& logPath) {
    for (const char* variable : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
        const char* existing = std::getenv(variable);
        std::string options = existing != nullptr ? existing : "";
        options += std::string(options.empty() ? "" : ":") + "halt_on_error=1:log_path=" + logPath;
        ::setenv(variable, options.c_str(), 1);
    }
}

// The reports the sanitizers left in the capture folder, each with its file name.
std::string sanitizerReports(const std::filesystem::path& folder, const std::string& prefix) {
    std::string reports;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0) {
            reports += name + ":\n" + slurp(entry.path()) + "\n";
        }
    }
    return reports;
}

std::vector<std::string> runnerWords() {
    std::vector<std::string> words;
    const char* runner = std::getenv("KELVANTO_RUNNER");
    std::istringstream text(runner != nullptr ? runner : "");
    for (std::string word; text >> word;) {
        words.push_back(word);
    }
    return words;
}

}  // namespace

ScratchDir::ScratchDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    dir = std::filesystem::temp_directory_path() /
          ("kelvanto-test-" + std::to_string(::getpid()) + "-" + std::to_string(random()) + "-" +
           std::to_string(counter++));
    std::filesystem::create_directories(dir);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(dir, ignored);
}

ScopedWorkingDir::ScopedWorkingDir(const std::filesystem::path& dir)
    : previous(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
}

ScopedWorkingDir::~ScopedWorkingDir() {
    std::filesystem::current_path(previous);
}

void ScratchWorkingDir::SetUp() {
    scratch = std::make_unique<ScratchDir>();
    working = std::make_unique<ScopedWorkingDir>(scratch->path());
}

void ScratchWorkingDir::TearDown() {
    working.reset();
    scratch.reset();
}

Bytes readFile(const std::string& path) {
    const std::string content = slurp(path);
    return Bytes(content.begin(), content.end());
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

void writeFile(const std::string& path, const Bytes& content) {
    writeFile(path, std::string(content.begin(), content.end()));
}

void execTool(const std::string& binary, const std::vector<std::string>& arguments) {
    // KELVANTO_RUNNER, when set, is a command that runs the tool (valgrind and its options):
    // its blank-separated words go before the tool's path.
    std::vector<std::string> words = runnerWords();
    words.push_back(binary);
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    std::_Exit(127);
}

RunResult runKelvanto(const std::vector<std::string>& arguments, const std::string& workDir) {
    return runProgram(KELVANTO_BINARY, arguments, workDir);
}

RunResult runKelvantoTape(const std::vector<std::string>& arguments, const std::string& workDir) {
    return runProgram(KELVANTO_TAPE_BINARY, arguments, workDir);
}

RunResult runProgram(const std::string& binary, const std::vector<std::string>& arguments,
                     const std::string& workDir) {
    ScratchDir capture;
    const std::string outPath = capture.file("stdout");
    const std::string errPath = capture.file("stderr");
    const std::string sanitizerLog = "sanitizer";
    RunResult result;
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(workDir.c_str()) != 0) {
            std::_Exit(126);
        }
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::dup2(in, 0);
        setSanitizerOptions(capture.file(sanitizerLog));
        execTool(binary, arguments);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.status = 128 + WTERMSIG(status);
    }
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    const std::string reports = sanitizerReports(capture.path(), sanitizerLog);
    if (!reports.empty()) {
        std::string command = "kelvanto";
        for (const auto& argument : arguments) {
            command += " " + argument;
        }
        ADD_FAILURE() << "sanitizer report from " << command << " (status " << result.status
                      << "):\n"
                      << reports;
    }
    return result;
}

std::string sourcePath(const std::string& relative) {
    return std::string(KELVANTO_SOURCE_DIR) + "/" + relative;
}

}  // namespace testing_support
