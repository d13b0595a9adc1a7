// The account of a decoded recording: one line per load with its place, characters, verdict,
// speed, polarity, channel and level, the times of its doubtful characters, and a summary.
#pragma once

#include <ostream>
#include <string>

#include "companion/recording_input.h"

// m:ss.mmm, the form in which audio editors show a place.
std::string clockTime(double seconds);

void printDecodeReport(std::ostream& out, const DecodedTape& decoded);
// The same report as JSON, for scripts.
std::string decodeReportJson(const DecodedTape& decoded, const std::string& outputName);
