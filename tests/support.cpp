// Shared test helpers (see support.h).
#include "tests/support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
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
        // KELVANTO_RUNNER, when set, is a command that runs the tool (valgrind and its
        // options): its blank-separated words go before the tool's path.
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
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.status = 128 + WTERMSIG(status);
    }
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    return result;
}

std::string sourcePath(const std::string& relative) {
    return std::string(KELVANTO_SOURCE_DIR) + "/" + relative;
}

}  // namespace testing_support
