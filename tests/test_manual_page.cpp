// SPDX-License-Identifier: MIT
// The man page against the program: the version text of its title line is the banner's, and
// it has the sections a reader looks for, with every option the usage text names.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/support.h"

namespace {

using testing_support::runKelvanto;
using testing_support::ScratchDir;
using testing_support::sourcePath;

std::string manualPage() {
    std::ifstream in(sourcePath("kelvanto.1"));
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ManualPage, VersionTextIsTheBanners) {
    ScratchDir dir;
    const auto run = runKelvanto({}, dir.path());
    const std::string banner = run.out.substr(0, run.out.find('\n'));
    EXPECT_EQ(banner, "Kelvanto v2.0beta");
    const std::string page = manualPage();
    const std::string title = page.substr(0, page.find('\n'));
    EXPECT_EQ(title, ".TH KELVANTO 1 \"December 2026\" \"" + banner + "\" \"User Commands\"");
}

TEST(ManualPage, HasEverySectionAndOption) {
    const std::string page = manualPage();
    for (const std::string section :
         {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXAMPLES", "FILES", "EXIT STATUS",
          "DIAGNOSTICS", "LIMITS", "SEE ALSO"}) {
        EXPECT_NE(page.find("\n.SH " + section + "\n"), std::string::npos) << section;
    }
    for (const char option : std::string("bckhfgsvw")) {
        EXPECT_NE(page.find(std::string("\n\\fB\\-") + option + "\\fR"), std::string::npos)
            << option;
    }
    EXPECT_NE(page.find("screen_\\fIN\\fR.txt"), std::string::npos);
    EXPECT_NE(page.find("8192"), std::string::npos);
}

}  // namespace
