// SPDX-License-Identifier: MIT
// Writes full blocks of samples to a stream on a thread of its own, so that the kernel's copy
// of one block into the file overlaps the rendering of the next; the first failure is kept.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

class BlockWriter {
  public:
    static constexpr std::size_t blockBytes = std::size_t{1} << 20;

    BlockWriter();
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;
    // As abandon().
    ~BlockWriter() { abandon(); }

    // Where the next block is to be filled (blockBytes long).
    unsigned char* block() const { return blocks.get() + filled % blockCount * blockBytes; }
    // Queues the first size bytes of block() for the stream; block() then names a free
    // block. Returns the error number of a write that failed since the stream was set, or 0.
    int send(std::FILE* stream, std::size_t size);
    // Writes the first size bytes of block() as the last block (at once, when the thread was
    // never needed) and waits until every block is written and flushed; the error number of
    // the first write that failed, or 0.
    int finish(std::FILE* stream, std::size_t size);
    // Stops the thread once a write under way has ended; a block queued but not begun is not
    // written.
    void abandon() noexcept;

  private:
    // One block is filled while the other is written.
    static constexpr int blockCount = 2;
    struct PageDelete {
        void operator()(unsigned char* blocks) const;
    };
    void run();
    // One block to the stream, flushed; the error number, or 0.
    static int put(std::FILE* stream, const unsigned char* bytes, std::size_t size);

    std::unique_ptr<unsigned char[], PageDelete> blocks;  // blockCount blocks in a row
    std::size_t sizes[blockCount] = {};
    std::FILE* stream = nullptr;
    std::mutex lock;
    std::condition_variable changed;
    long long filled = 0;   // blocks queued so far
    long long written = 0;  // blocks the thread is done with
    bool stopping = false;
    int error = 0;
    std::thread thread;
};
