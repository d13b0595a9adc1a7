// SPDX-License-Identifier: MIT
// Helpers for the image layer's tests: what a piece of code prints on standard output, and
// that output with the source locations of its messages replaced by a fixed mark.
#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace testing_support {

template <class Action>
std::string captureStdout(Action&& action) {
    testing::internal::CaptureStdout();
    action();
    return testing::internal::GetCapturedStdout();
}

// " (ipl/kernel_c/kernel_io_bmp.cpp line 77)" becomes " (@)".
inline std::string withoutLocations(const std::string& text) {
    static const std::regex location(R"( \(ipl/[A-Za-z0-9_/]+\.(cpp|h) line [0-9]+\))");
    return std::regex_replace(text, location, " (@)");
}

}  // namespace testing_support
