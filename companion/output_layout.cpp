// SPDX-License-Identifier: MIT
// --to bml|bin or the output's extension, with the refusals of both subcommands.
#include "companion/output_layout.h"

#include "companion/command_error.h"

TapeLayout outputLayout(const std::string& command, const std::string& output,
                        const std::optional<std::string>& to) {
    if (to) {
        if (*to != "bml" && *to != "bin") {
            throw CommandError(command, "--to takes bml or bin, not " + *to);
        }
        return *to == "bin" ? TapeLayout::binary : TapeLayout::text;
    }
    TapeLayout layout = TapeLayout::text;
    if (output == "-") {
        throw CommandError(command, "standard output needs --to bml or --to bin");
    }
    if (!layoutForName(output, layout)) {
        throw CommandError(output, "the output name must end in .bml or .bin");
    }
    return layout;
}
