// SPDX-License-Identifier: MIT
// The writer thread of the audio output and its two blocks.
#include "audio/block_writer.h"

#include <cerrno>
#include <new>

#include "base/huge_pages.h"

namespace {

// The blocks fill one huge page where the kernel gives them: one page fault instead of 512.
// They begin on a page either way, which the kernel copies into the page cache faster than a
// block that begins 16 bytes into one, as the allocator hands out blocks of this size.
constexpr std::align_val_t blockAlignment{kelvanto::hugePageBytes};
static_assert(BlockWriter::blockBytes * 2 == kelvanto::hugePageBytes);

}  // namespace

void BlockWriter::PageDelete::operator()(unsigned char* bytes) const {
    ::operator delete[](bytes, blockAlignment);
}

BlockWriter::BlockWriter() {
    // Left uninitialised: every byte is written before it is sent.
    blocks.reset(
        static_cast<unsigned char*>(::operator new[](blockCount* blockBytes, blockAlignment)));
    kelvanto::adviseHugePages(blocks.get(), blockCount * blockBytes);
}

int BlockWriter::send(std::FILE* to, std::size_t size) {
    std::unique_lock<std::mutex> held(lock);
    if (!thread.joinable()) {
        // Started with the first full block: a short file is written without a thread. What
        // an earlier stream left queued (dropped, or after a failed write) is not this one's.
        stream = to;
        stopping = false;
        error = 0;
        written = filled;
        thread = std::thread([this] { run(); });
    }
    sizes[filled % blockCount] = size;
    ++filled;
    changed.notify_all();
    // The next block to fill must not be one still waiting to be written.
    changed.wait(held, [this] { return filled - written < blockCount; });
    return error;
}

void BlockWriter::run() {
    std::unique_lock<std::mutex> held(lock);
    for (;;) {
        changed.wait(held, [this] { return written < filled || stopping; });
        if (stopping && (written >= filled || error != 0)) {
            return;
        }
        const std::size_t size = sizes[written % blockCount];
        const unsigned char* bytes = blocks.get() + written % blockCount * blockBytes;
        const bool ok = error == 0;
        held.unlock();
        // Once a write failed the rest are only counted off, so that no block is written
        // after a gap.
        const int failure = ok ? put(stream, bytes, size) : 0;
        held.lock();
        if (error == 0) {
            error = failure;
        }
        ++written;
        changed.notify_all();
    }
}

int BlockWriter::put(std::FILE* stream, const unsigned char* bytes, std::size_t size) {
    errno = 0;
    if (std::fwrite(bytes, 1, size, stream) == size && std::fflush(stream) == 0) {
        return 0;
    }
    return errno != 0 ? errno : EIO;
}

int BlockWriter::finish(std::FILE* to, std::size_t size) {
    std::unique_lock<std::mutex> held(lock);
    if (!thread.joinable()) {
        error = put(to, block(), size);
        return error;
    }
    sizes[filled % blockCount] = size;
    ++filled;
    stopping = true;
    changed.notify_all();
    held.unlock();
    thread.join();
    return error;
}

void BlockWriter::abandon() noexcept {
    {
        std::lock_guard<std::mutex> held(lock);
        stopping = true;
        filled = written;
    }
    changed.notify_all();
    if (thread.joinable()) {
        thread.join();
    }
}
