// SPDX-License-Identifier: MIT
// Input text in messages: control bytes, DEL and bytes above 0x7F shown as \x and two hex
// digits, everything else as it is, and the tag name of "Invalid Tag" passed through it.
#include <gtest/gtest.h>

#include <string>

#include "base/printable.h"
#include "tests/support.h"

TEST(Printable, EscapesControlBytesDeleteAndEverythingAbove) {
    EXPECT_EQ(kelvanto::printable(""), "");
    EXPECT_EQ(kelvanto::printable("LOAD x=1 <>/\\\"~"), "LOAD x=1 <>/\\\"~");
    EXPECT_EQ(kelvanto::printable(std::string("\x00\x01\x0a\x1b[2J\x1f", 8)),
              "\\x00\\x01\\x0a\\x1b[2J\\x1f");
    EXPECT_EQ(kelvanto::printable("\x7f\x80\xc3\xa9\xff"), "\\x7f\\x80\\xc3\\xa9\\xff");
    // Every byte: 95 stay, 161 become four characters.
    std::string all;
    for (int byte = 0; byte < 256; ++byte) {
        all.push_back(static_cast<char>(byte));
    }
    const std::string shown = kelvanto::printable(all);
    EXPECT_EQ(shown.size(), 95u + 161u * 4u);
    EXPECT_EQ(shown.substr(0, 8), "\\x00\\x01");
    EXPECT_EQ(shown.substr(32 * 4, 3), " !\"");
    EXPECT_EQ(shown.substr(32 * 4 + 94, 9), "~\\x7f\\x80");
}

TEST(Printable, InvalidTagMessagesNeverCarryRawBytes) {
    testing_support::ScratchDir dir;
    testing_support::writeFile(dir.file("evil.bml"),
                               std::string("<TARQO format=2><\x1b]0;owned\x07\x9b\xff></TARQO>"));
    const auto run = testing_support::runKelvanto({"-v0", "evil.bml"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Invalid Tag \\x1b]0;owned\\x07\\x9b\\xff found for parent tag TARQO\n");
}
