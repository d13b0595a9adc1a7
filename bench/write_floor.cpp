// SPDX-License-Identifier: MIT
// The least a converter must do to write a signal: fill blocks with copies of prepared pieces
// and write them. Timed beside dd, it shows how close to dd any renderer can get on a machine.
//
// Usage: write_floor OUTPUT BYTES
// Writes BYTES bytes to OUTPUT in blocks of 256 KiB (the converter's block), each filled with
// pieces of 800 to 1160 bytes (a character at 44100 Hz 16-bit stereo) copied from a 300 KiB
// table (about the converter's table of prepared characters). Nothing is read, nothing is
// computed per byte: this is rendering at its cheapest, and whatever the converter spends
// beyond this program's time is its own.
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
constexpr std::size_t tableBytes = 300 * 1024;

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
    std::vector<unsigned char> table(tableBytes);
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = static_cast<unsigned char>(i * 31u);
    }
    std::vector<unsigned char> block(blockBytes);
    const int fd = ::open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        return fail("open");
    }
    std::size_t piece = 0;
    for (unsigned long long written = 0; written < total;) {
        const std::size_t size =
            static_cast<std::size_t>(std::min<unsigned long long>(blockBytes, total - written));
        for (std::size_t at = 0; at < size;) {
            const std::size_t length = std::min<std::size_t>(800 + (piece % 7) * 60, size - at);
            const std::size_t from = (piece * 2654435761u) % (tableBytes - 2048);
            std::memcpy(block.data() + at, table.data() + from, length);
            at += length;
            ++piece;
        }
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
