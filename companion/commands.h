// SPDX-License-Identifier: MIT
// The subcommands of kelvanto-tape, one file each; every one takes the words after its name,
// returns the exit status and throws CommandError for a failure.
#pragma once

#include <string>
#include <vector>

using Words = std::vector<std::string>;

int convertCommand(const Words& words);
int listCommand(const Words& words);
int screenCommand(const Words& words);
int playCommand(const Words& words);
int decodeCommand(const Words& words);
int summaryCommand(const Words& words);
