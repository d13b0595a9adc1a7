// SPDX-License-Identifier: MIT
// The least a converter must do to write a signal: put every byte into a block once and write
// the blocks. Timed beside dd, it shows how close to dd any renderer can get on a machine.
//
// Usage: write_floor OUTPUT BYTES
// Writes BYTES bytes to OUTPUT in blocks of 256 KiB (the converter's block), each filled by one
// copy of a block prepared at the start, which stays in the processor's cache. Nothing is read,
// nothing is computed, no piece is looked up: whatever a renderer does costs at least this
// copy, and whatever the converter spends beyond this program's time is its own.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t blockBytes = std::size_t{1} << 18;

int fail(const char* what) {
    std::fprintf(stderr, "write_floor: %s: %s\n", what, std::strerror(errno));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: write_floor OUTPUT BYTES\n");
        return 2;
    }
    char* end = nullptr;
    const unsigned long long total = std::strtoull(argv[2], &end, 10);
    if (end == argv[2] || *end != '\0') {
        std::fprintf(stderr, "write_floor: not a number of bytes\n");
        return 2;
    }
    std::vector<unsigned char> prepared(blockBytes);
    for (std::size_t i = 0; i < prepared.size(); ++i) {
        prepared[i] = static_cast<unsigned char>(i * 31u);
    }
    std::vector<unsigned char> block(blockBytes);
    const int fd = ::open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        return fail("open");
    }
    for (unsigned long long written = 0; written < total;) {
        const std::size_t size =
            static_cast<std::size_t>(std::min<unsigned long long>(blockBytes, total - written));
        std::memcpy(block.data(), prepared.data(), size);
        for (std::size_t done = 0; done < size;) {
            const ssize_t n = ::write(fd, block.data() + done, size - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return fail("write");
            }
            done += static_cast<std::size_t>(n);
        }
        written += size;
    }
    if (::close(fd) != 0) {
        return fail("close");
    }
    return 0;
}
