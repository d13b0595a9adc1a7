// SPDX-License-Identifier: MIT
// kelvanto: converts a Tarqo tape image (.bml or .bin) into the .wav signal the machine loads.
#include "app/run.h"
#include "base/standard_streams.h"

int main(int argc, char** argv) {
    if (!kelvanto::openClosedStandardDescriptors()) {
        return 127;
    }
    return runKelvanto(argc, argv);
}
