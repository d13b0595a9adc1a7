// SPDX-License-Identifier: MIT
// A load's data bytes: what a fresh load reads, where stores land, and that memory follows
// the stored bytes (a tape of 100,000 loads must not take 8 KB for each of them).
#include <gtest/gtest.h>

#include <sstream>

#include "tape/load_data.h"
#include "tape/tarqo_bin_file.h"
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
