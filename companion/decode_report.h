// SPDX-License-Identifier: MIT
// The account of a decoded recording: one line per load with its place, characters, verdict,
// speed, polarity, channel and level, the times of its doubtful characters, and a summary.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "companion/recording_input.h"

// m:ss.mmm, the form in which audio editors show a place.
std::string clockTime(double seconds);

void printDecodeReport(std::ostream& out, const DecodedTape& decoded);
// The same report as JSON, for scripts, handed to put piece by piece (one load at a time).
void writeDecodeReportJson(const std::function<void(std::string_view)>& put,
                           const DecodedTape& decoded, const std::string& outputName);
