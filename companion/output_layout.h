// SPDX-License-Identifier: MIT
// The layout of a tape image that convert and decode write: named with --to, or read from
// the output's name; standard output ("-") needs --to.
#pragma once

#include <optional>
#include <string>

#include "tape/tape_writer.h"

// Throws CommandError naming the command (or the output) when neither gives a layout.
TapeLayout outputLayout(const std::string& command, const std::string& output,
                        const std::optional<std::string>& to);
