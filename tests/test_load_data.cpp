// SPDX-License-Identifier: MIT
// A load's data bytes: what a fresh load reads, where stores land, and that memory follows
// the stored bytes (a tape of 100,000 loads must not take 8 KB for each of them).
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <vector>

#include "tape/load_data.h"
#include "tape/tape_writer.h"
#include "tape/tarqo_bin_file.h"
#include "tests/load_maker.h"
#include "tests/support.h"

TEST(LoadData, StoresLandWhereTheyAreMadeAndNowhereElse) {
    LoadData data;
    EXPECT_EQ(data.storedBytes(), 0u);
    data.set(8191, 0xAB);
    data.set(0, 0x01);
    data.set(64, 0x40);
    data.set(8192, 0xEE);  // past the load: nothing
    for (std::size_t index = 0; index < LoadData::capacity + 64; ++index) {
        const int expected = index == 8191 ? 0xAB : index == 0 ? 0x01 : index == 64 ? 0x40 : 0;
        ASSERT_EQ(data[index], expected) << index;
    }
    // Room for four pages and a directory of 128 places, not 8192 bytes.
    EXPECT_LE(data.storedBytes(), 4u * LoadData::pageSize + 128u);

    LoadData copy = data;
    copy.set(8191, 0x11);
    EXPECT_EQ(data[8191], 0xAB);
    EXPECT_EQ(copy[8191], 0x11);
    EXPECT_EQ(copy[64], 0x40);
}

TEST(LoadData, LoadsOfAReadTapeHoldOnlyTheirBytes) {
    std::string text = "<TARQO format=2>";
    for (int i = 0; i < 1000; ++i) {
        text += "<LOAD format=1></LOAD>";
    }
    text += "<LOAD format=1><DATA length=2><HEX address=1fff>7 </HEX></DATA></LOAD></TARQO>";
    TarqoBinFile tape;
    tape.setQuiet(true);
    std::istringstream input(text);
    tape.read(input, 0);
    ASSERT_EQ(tape.loads.size(), 1001u);
    for (std::size_t i = 0; i < 1000; ++i) {
        ASSERT_EQ(tape.loads[i].dataBytes.storedBytes(), 0u) << i;
    }
    EXPECT_EQ(tape.loads.back().byteAt(8191), 7);
    EXPECT_EQ(tape.loads.back().byteAt(8190), 0);
    EXPECT_LE(tape.loads.back().dataBytes.storedBytes(), LoadData::pageSize + 128u);
}

TEST(LoadData, ABinaryImageIsSharedByItsLoadsAndNeverWritten) {
    std::vector<std::uint8_t> first(8192);
    std::vector<std::uint8_t> second(300);
    for (std::size_t i = 0; i < first.size(); ++i) {
        first[i] = static_cast<std::uint8_t>(i * 7 + 1);
    }
    for (std::size_t i = 0; i < second.size(); ++i) {
        second[i] = static_cast<std::uint8_t>(255 - i);
    }
    TarqoBinFile written;
    written.setName("SHARE");
    written.loads.push_back(testing_support::makeLoad(3, first));
    written.loads.push_back(testing_support::makeLoad(3, second));
    const std::string bytes = TapeWriter(written).write(written, TapeLayout::binary).bytes;

    auto image = std::make_shared<const std::string>(bytes);
    const std::weak_ptr<const std::string> held = image;
    TapeLoad changed;
    {
        TarqoBinFile tape;
        tape.setQuiet(true);
        tape.read(std::move(image), 0);
        ASSERT_EQ(tape.loads.size(), 2u);
        // The loads read the image where it lies: no page of their own.
        EXPECT_EQ(tape.loads[0].dataBytes.storedBytes(), 0u);
        EXPECT_EQ(tape.loads[1].dataBytes.storedBytes(), 0u);
        for (std::size_t i = 0; i < 8192; ++i) {
            ASSERT_EQ(tape.loads[0].byteAt(static_cast<long>(i)), first[i]) << i;
            ASSERT_EQ(tape.loads[1].byteAt(static_cast<long>(i)), i < 300 ? second[i] : 0) << i;
        }
        // A store copies the load's bytes first: the image, the load it was copied from and
        // the next load keep theirs.
        changed = tape.loads[1];
        changed.setByte(5, 0x00);
        changed.setByte(400, 0x44);
        EXPECT_EQ(tape.loads[1].byteAt(5), second[5]);
        EXPECT_EQ(tape.loads[1].byteAt(400), 0);
        EXPECT_EQ(tape.loads[0].byteAt(0), first[0]);
        EXPECT_GT(changed.dataBytes.storedBytes(), 0u);
        ASSERT_FALSE(held.expired());
        EXPECT_EQ(*held.lock(), bytes);
    }
    // The image lives as long as a load reads from it, and no longer.
    EXPECT_TRUE(held.expired());
    for (std::size_t i = 0; i < 300; ++i) {
        ASSERT_EQ(changed.byteAt(static_cast<long>(i)), i == 5 ? 0 : second[i]) << i;
    }
    EXPECT_EQ(changed.byteAt(400), 0x44);

    // Sharing into a load that already holds bytes keeps those the shared ones do not reach.
    LoadData data;
    data.set(100, 7);
    data.share(std::make_shared<const std::string>("\x01\x02\x03"), 1, 8192);
    EXPECT_EQ(data[0], 2);
    EXPECT_EQ(data[1], 3);
    EXPECT_EQ(data[2], 0);
    EXPECT_EQ(data[100], 7);

    // Copied out in one run, with zeros past the shared bytes.
    LoadData three;
    three.share(std::make_shared<const std::string>("\x09\x08\x07"), 0, 8192);
    std::vector<std::uint8_t> out(6, 0xEE);
    three.copyTo(out.data(), out.size());
    EXPECT_EQ(out, (std::vector<std::uint8_t>{9, 8, 7, 0, 0, 0}));
}
