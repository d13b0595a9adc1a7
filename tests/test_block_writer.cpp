// SPDX-License-Identifier: MIT
// The audio output's writer thread: blocks reach the file whole and in order, a failed write
// is reported (and nothing written after it), and a writer dropped mid-run neither hangs nor
// writes what was queued.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "audio/block_writer.h"
#include "tests/support.h"

using testing_support::readFile;
using testing_support::ScratchDir;

namespace {

// Fills the writer's next block with a pattern that tells blocks and places apart.
void fill(BlockWriter& writer, std::size_t size, int index) {
    for (std::size_t i = 0; i < size; ++i) {
        writer.block()[i] = static_cast<unsigned char>(index * 7 + i % 251);
    }
}

// Writes full blocks and a short last one to a new file through the writer, and checks that
// the file holds exactly those bytes.
void expectNextFileWhole(BlockWriter& writer, int fullBlocks, std::size_t lastSize, int seed) {
    ScratchDir dir;
    const std::string name = dir.file("next.raw");
    std::FILE* file = std::fopen(name.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    testing_support::Bytes expected;
    for (int index = 0; index <= fullBlocks; ++index) {
        const bool last = index == fullBlocks;
        const std::size_t size = last ? lastSize : BlockWriter::blockBytes;
        fill(writer, size, index + seed);
        expected.insert(expected.end(), writer.block(), writer.block() + size);
        ASSERT_EQ(last ? writer.finish(file, size) : writer.send(file, size), 0);
    }
    ASSERT_EQ(std::fclose(file), 0);
    EXPECT_TRUE(readFile(name) == expected);
}

// A pipe read by a thread that starts only after a pause: the writer's thread stays stuck in
// its first write meanwhile, so whatever the writer does with its queue then shows.
class SlowPipe {
  public:
    SlowPipe() {
        int ends[2];
        if (::pipe(ends) != 0) {
            ADD_FAILURE() << "no pipe";
            return;
        }
        in = ends[0];
        stream = ::fdopen(ends[1], "wb");
        std::setvbuf(stream, nullptr, _IONBF, 0);
        reader = std::thread([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            unsigned char piece[65536];
            for (ssize_t n; (n = ::read(in, piece, sizeof piece)) > 0;) {
                received.insert(received.end(), piece, piece + n);
            }
            ::close(in);
        });
    }
    // Returns once the pipe is full (64 KiB here), so that a writer is stuck in its write.
    void waitUntilFull() const {
        for (int tries = 0; tries < 150; ++tries) {
            int waiting = 0;
            if (::ioctl(in, FIONREAD, &waiting) == 0 && waiting >= 65536) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ADD_FAILURE() << "the pipe never filled";
    }
    // Closes the writing end and returns everything that came through.
    const testing_support::Bytes& close() {
        std::fclose(stream);
        reader.join();
        return received;
    }
    std::FILE* stream = nullptr;

  private:
    int in = -1;
    std::thread reader;
    testing_support::Bytes received;
};

}  // namespace

TEST(BlockWriter, BlocksReachTheFileWholeAndInOrder) {
    SlowPipe pipe;
    testing_support::Bytes expected;
    BlockWriter writer;
    // More blocks than the writer has, so each is filled again while others wait; the last
    // one is short.
    const int blocks = 8;
    for (int index = 0; index < blocks; ++index) {
        const std::size_t size = index + 1 < blocks ? BlockWriter::blockBytes : 1000;
        fill(writer, size, index);
        expected.insert(expected.end(), writer.block(), writer.block() + size);
        if (index + 1 < blocks) {
            ASSERT_EQ(writer.send(pipe.stream, size), 0);
        } else {
            ASSERT_EQ(writer.finish(pipe.stream, size), 0);
        }
    }
    EXPECT_TRUE(pipe.close() == expected);

    // A short file never needs the thread: finish writes its one block itself.
    ScratchDir dir;
    const std::string name = dir.file("out.raw");
    std::FILE* file = std::fopen(name.c_str(), "wb");
    fill(writer, 300, 3);
    expected.assign(writer.block(), writer.block() + 300);
    EXPECT_EQ(writer.finish(file, 300), 0);
    ASSERT_EQ(std::fclose(file), 0);
    EXPECT_TRUE(readFile(name) == expected);
}

TEST(BlockWriter, AFailedWriteIsReportedByALaterSendOrByFinish) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full on this system";
    }
    std::FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    std::setvbuf(full, nullptr, _IONBF, 0);
    BlockWriter writer;
    int reported = 0;
    for (int index = 0; index < 6 && reported == 0; ++index) {
        fill(writer, BlockWriter::blockBytes, index);
        reported = writer.send(full, BlockWriter::blockBytes);
    }
    EXPECT_EQ(writer.finish(full, 10), ENOSPC);
    EXPECT_TRUE(reported == 0 || reported == ENOSPC) << reported;
    std::fclose(full);

    // Nothing the failed stream left queued reaches the next one.
    expectNextFileWhole(writer, 2, 5, 20);
}

TEST(BlockWriter, AWriterDroppedMidRunReturnsAndServesTheNextFile) {
    BlockWriter writer;
    {
        SlowPipe pipe;
        fill(writer, BlockWriter::blockBytes, 0);
        const testing_support::Bytes first(writer.block(),
                                           writer.block() + BlockWriter::blockBytes);
        ASSERT_EQ(writer.send(pipe.stream, BlockWriter::blockBytes), 0);
        pipe.waitUntilFull();
        fill(writer, BlockWriter::blockBytes, 1);
        // Dropped while the first block is still being written: that one ends, the one being
        // filled is never written.
        writer.abandon();
        EXPECT_TRUE(pipe.close() == first);
    }
    expectNextFileWhole(writer, 3, 77, 10);
}
