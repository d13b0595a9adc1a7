// SPDX-License-Identifier: MIT
// The test helpers' watch over the tool's runs: a sanitizer report that a run leaves in its
// log file fails the test, even when the run's status and output look as expected.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support.h"

namespace {

using testing_support::runKelvanto;
using testing_support::ScratchDir;
using testing_support::writeFile;

// A runner that writes what a sanitizer writes where the options say, then runs the tool.
const char* const fakeReport =
    "#!/bin/sh\n"
    "for option in $(printf '%s' \"$ASAN_OPTIONS\" | tr ':' ' '); do\n"
    "  case $option in log_path=*) path=${option#log_path=} ;; esac\n"
    "done\n"
    "case \"$UBSAN_OPTIONS\" in *halt_on_error=1*) ;; *) exit 3 ;; esac\n"
    "printf 'ERROR: AddressSanitizer: heap-buffer-overflow\\n' > \"$path.4242\"\n"
    "exec \"$@\"\n";

class RunnerVariable {
  public:
    explicit RunnerVariable(const std::string& value) {
        ::setenv("KELVANTO_RUNNER", value.c_str(), 1);
    }
    ~RunnerVariable() { ::unsetenv("KELVANTO_RUNNER"); }
};

TEST(SanitizerReports, AReportInTheLogFailsTheRun) {
    ScratchDir dir;
    writeFile(dir.file("report.sh"), std::string(fakeReport));
    const RunnerVariable runner("sh " + dir.file("report.sh"));
    testing_support::RunResult run;
    EXPECT_NONFATAL_FAILURE(run = runKelvanto({"-v0", "missing.bml"}, dir.path()),
                            "heap-buffer-overflow");
    // The tool itself ran as usual behind the runner.
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Unable to open missing.bml\n");
}

TEST(SanitizerReports, ARunWithoutReportPasses) {
    ScratchDir dir;
    const auto run = runKelvanto({"-v0", "missing.bml"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Unable to open missing.bml\n");
}

}  // namespace
