// SPDX-License-Identifier: MIT
// The image layer's messages: prefixes, location suffixes and line ends on both levels,
// and the stop on a message too long for its buffers.
#include <gtest/gtest.h>

#include <string>

#include "ipl/kernel_c/kernel_error.h"
#include "tests/ipl_capture.h"

namespace {

using ipl::IPL_ERROR;
using ipl::IPL_NOTE;
using ipl::IPL_WARNING;
using testing_support::captureStdout;

TEST(IplRecordMessage, ErrorsAndWarningsCarryTheirLocationAndAnEmptyLine) {
    EXPECT_EQ(
        captureStdout([] { ipl::k_ShowMessageStd("ipl/x.cpp", 12, IPL_ERROR, "value %d", 5); }),
        "IPL_ERROR: value 5 (ipl/x.cpp line 12)\n\n");
    EXPECT_EQ(captureStdout([] {
                  ipl::k_ShowMessageStd("ipl/x.cpp", 3, IPL_WARNING, "k_F() %s", "careful");
              }),
              "IPL_WARNING: k_F() careful (ipl/x.cpp line 3)\n\n");
}

TEST(IplRecordMessage, NoteIsTheTextAloneFollowedByAnEmptyLine) {
    EXPECT_EQ(captureStdout([] { ipl::k_ShowMessageStd("ipl/x.cpp", 1, IPL_NOTE, "done"); }),
              "done\n\n");
}

TEST(IplRecordMessage, SourcePathStartsAtTheLayersFolder) {
    EXPECT_EQ(captureStdout([] {
                  ipl::k_ShowMessageStd("/home/a/ipl/src/ipl/kernel_c/kernel_io.cpp", 7, IPL_ERROR,
                                        "x");
              }),
              "IPL_ERROR: x (ipl/kernel_c/kernel_io.cpp line 7)\n\n");
    EXPECT_STREQ(ipl::k_SourceName("other/file.cpp"), "other/file.cpp");
    EXPECT_EQ(ipl::LocationSuffix("/b/ipl/cpp/image.cpp", 40), " (ipl/cpp/image.cpp line 40)");
}

TEST(IplRecordMessage, UnknownTypeIsReportedInsteadOfTheText) {
    const std::string out =
        captureStdout([] { ipl::k_ShowMessageStd("ipl/x.cpp", 12, 3, "dropped"); });
    EXPECT_TRUE(
        std::regex_match(out, std::regex(R"(IPL_ERROR: k_ShowMessageStd\(\) unknown message )"
                                         R"(type at ipl/x\.cpp line 12 )"
                                         R"(\(ipl/kernel_c/kernel_error\.cpp line [0-9]+\)\n\n)")))
        << out;
}

TEST(IplRecordMessage, ArgumentsAreNeverTakenAsFormats) {
    EXPECT_EQ(captureStdout([] { ipl::k_ShowMessageStd("f", 1, IPL_NOTE, "%s", "50%d%s"); }),
              "50%d%s\n\n");
}

// Prefix (11), text, " (f line 1)" (11) and the line end must fit in 3999 characters.
constexpr std::size_t kLongestText = 3999 - 11 - 11 - 1;

TEST(IplRecordMessage, LongestLineThatFitsIsPrintedWhole) {
    const std::string text(kLongestText, 'a');
    const std::string out =
        captureStdout([&] { ipl::k_ShowMessageStd("f", 1, IPL_ERROR, "%s", text.c_str()); });
    EXPECT_EQ(out, "IPL_ERROR: " + text + " (f line 1)\n\n");
}

TEST(IplRecordMessageDeathTest, MessageTooLongStopsTheProcess) {
    const char* const expected =
        R"(IPL_ERROR: k_ShowMessageStd\(\) Error message too long at f line 1 - increase the )"
        R"(MAX_MESSAGE_SIZE definition \(ipl/kernel_c/kernel_error\.cpp line [0-9]+\))";
    const std::string text(ipl::MAX_MESSAGE_SIZE, 'a');
    EXPECT_EXIT(ipl::k_ShowMessageStd("f", 1, IPL_ERROR, "%s", text.c_str()),
                testing::ExitedWithCode(1), expected);
    // One character more than the longest line.
    const std::string line(kLongestText + 1, 'a');
    EXPECT_EXIT(ipl::k_ShowMessageStd("f", 1, IPL_ERROR, "%s", line.c_str()),
                testing::ExitedWithCode(1), expected);
}

TEST(IplObjectMessage, PrefixOfEachTypeAndOneLineEnd) {
    EXPECT_EQ(captureStdout([] { ipl::ShowMessage(IPL_ERROR, "CX::F() bad (ipl/a.cpp line 2)"); }),
              "IPL_ERROR: CX::F() bad (ipl/a.cpp line 2)\n");
    EXPECT_EQ(captureStdout([] { ipl::ShowMessage(IPL_WARNING, "w"); }), "IPL_WARNING: w\n");
    EXPECT_EQ(captureStdout([] { ipl::ShowMessage(IPL_NOTE, "100%s"); }), "IPL_NOTE: 100%s\n");
}

TEST(IplObjectMessage, UnknownTypeGivesItsOwnText) {
    EXPECT_EQ(captureStdout([] { ipl::ShowMessage(static_cast<ipl::IPL_MESSAGETYPE>(3), "x"); }),
              "Error: ShowMessage() unknown message type\n");
}

TEST(IplObjectMessage, SinkAddsOneLineEnd) {
    EXPECT_EQ(captureStdout([] { ipl::PrintMessage("a\nb"); }), "a\nb\n");
}

}  // namespace
