// SPDX-License-Identifier: MIT
// One run of the tool: options, reading the tape image, converting it, exit status.
#pragma once

int runKelvanto(int argc, char** argv);
