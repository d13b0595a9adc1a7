// SPDX-License-Identifier: MIT
// Standard input and output as kelvanto-tape's files named "-": a tape image read whole from
// standard input, and output whose reader may go away early (head, a player that stops).
#pragma once

#include <cstddef>
#include <string>

#include "tape/input_file.h"

// The name that messages give a file called "-".
inline constexpr const char* standardInputName = "standard input";
inline constexpr const char* standardOutputName = "standard output";

// The reader of standard output has gone (a pipe closed early). Normal for a pipeline: the
// run ends quietly with status 0, as cat and yes do.
struct OutputClosed {};

// Standard input read to its end, up to maxSize bytes (one more is refused as too large).
InputFile readStandardInput(std::size_t maxSize);

// Writes all bytes to standard output. Throws OutputClosed when its reader has gone, and
// CommandError ("standard output: reason") for any other failure.
void writeStandardOutput(const char* bytes, std::size_t size);

// Whether standard output is a pipe or socket that nobody reads any more.
bool standardOutputClosed();

// The name a message shows for an input named on the command line ("-": standard input).
std::string shownInputName(const std::string& name);
