// SPDX-License-Identifier: MIT
// kelvanto-tape's progress line: on a terminal (a pseudo-terminal here) decoding shows where
// it is and erases the line before the report; nothing of it when standard error is a file
// or a pipe, or with --quiet.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "tests/companion_binary.h"
#include "tests/support.h"

using testing_support::runKelvanto;
using testing_support::runKelvantoTape;
using testing_support::ScratchDir;
using testing_support::sourcePath;

namespace {

constexpr const char* eraseLine = "\r\x1b[K";

struct TerminalRun {
    int status = -1;
    std::string screen;  // everything the terminal received, both streams
};

// Runs kelvanto-tape with all three streams on a new pseudo-terminal.
TerminalRun onTerminal(const std::vector<std::string>& words, const std::string& work) {
    TerminalRun run;
    int master = -1;
    const pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (child < 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        return run;
    }
    if (child == 0) {
        if (::chdir(work.c_str()) != 0) {
            std::_Exit(126);
        }
        testing_support::execTool(testing_support::kelvantoTapeBinary(), words);
    }
    char block[4096];
    for (;;) {
        const ssize_t got = ::read(master, block, sizeof block);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;  // EIO once the child has closed the terminal
        }
        run.screen.append(block, static_cast<std::size_t>(got));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(master);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace

TEST(CompanionProgress, ATerminalSeesTheLineUpdatedInPlaceAndErased) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    ASSERT_EQ(
        runKelvanto({"-v", "0", "-w", "rec.wav", sourcePath("examples/screen.bml")}, work).status,
        0);
    const TerminalRun run = onTerminal({"decode", "rec.wav", "-o", "rec.bml"}, work);
    EXPECT_EQ(run.status, 0) << run.screen;
    // The first line at once, then erased before the report (the terminal writes \r\n).
    EXPECT_EQ(run.screen.rfind(std::string(eraseLine) + "decoding rec.wav: 0:00.000", 0), 0u)
        << run.screen;
    const std::size_t erased = run.screen.rfind(eraseLine);
    const std::string report = "rec.wav: 22050 Hz, 2 channels, 0:14.703\r\n";
    EXPECT_EQ(run.screen.substr(erased + 4, report.size()), report) << run.screen;
    EXPECT_NE(run.screen.find("wrote rec.bml\r\n"), std::string::npos);

    const TerminalRun quiet = onTerminal({"decode", "-q", "rec.wav", "-o", "q.bml"}, work);
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.screen.find('\x1b'), std::string::npos) << quiet.screen;
    EXPECT_EQ(quiet.screen.rfind("rec.wav: 22050 Hz", 0), 0u) << quiet.screen;
}

TEST(CompanionProgress, NothingWhenStandardErrorIsNoTerminal) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    ASSERT_EQ(
        runKelvanto({"-v", "0", "-w", "rec.wav", sourcePath("examples/tape.bin")}, work).status, 0);
    const std::vector<std::vector<std::string>> commands = {
        {"decode", "rec.wav", "-o", "a.bml"},
        {"decode", "--quiet", "rec.wav", "-o", "b.bml"},
        {"list", "rec.wav"},
        {"list", "-q", sourcePath("examples/basic.bml")},
        {"screen", "--offset", "0", "rec.wav", "-o", "s.pbm"},
        {"convert", "--quiet", sourcePath("examples/basic.bml"), "c.bin"},
    };
    for (const auto& words : commands) {
        SCOPED_TRACE(words[0] + " " + words[1]);
        const auto run = runKelvantoTape(words, work);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
    }
}
