// kelvanto: converts a Tarqo tape image (.bml or .bin) into the .wav signal the machine loads.
#include "app/run.h"

int main(int argc, char** argv) {
    return runKelvanto(argc, argv);
}
