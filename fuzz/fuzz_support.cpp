// SPDX-License-Identifier: MIT
// Set-up shared by the fuzz targets (see fuzz_support.h).
#include "fuzz/fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <streambuf>

#include "base/fatal.h"

namespace fuzz_support {

namespace {

// Swallows everything written to it.
class NullBuffer : public std::streambuf {
  protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

std::filesystem::path scratch;

void removeScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
}

}  // namespace

std::string prepare(const char* name) {
    kelvanto::setFatalHook(&kelvanto::throwFatalError);

    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("kelvanto-fuzz-" + std::string(name) + "-" + std::to_string(::getpid()));
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    scratch = dir;
    std::atexit(&removeScratch);
    if (error || ::chdir(dir.c_str()) != 0) {
        std::fprintf(stderr, "cannot use scratch folder %s\n", dir.c_str());
        std::abort();
    }

    std::fflush(stdout);
    const int devNull = ::open("/dev/null", O_WRONLY);
    if (devNull >= 0) {
        ::dup2(devNull, 1);
        ::close(devNull);
    }
    static NullBuffer nothing;
    std::cerr.rdbuf(&nothing);
    std::cout.rdbuf(&nothing);
    return dir.string() + "/";
}

bool writeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

}  // namespace fuzz_support
