// SPDX-License-Identifier: MIT
// Throughput of the tape reader alone: each markup file given is read from memory again and
// again (no screen files, no detail lines); the median rates in MB/s of input, by wall time
// and by the process's CPU time (which other programs on a busy machine disturb less).
// Run: build-bench/bench/reader_bench [--runs N] FILE...   (bench/make_markup.py makes them)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tape/tarqo_bin_file.h"

int main(int argc, char** argv) {
    int runs = 5;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else {
            files.push_back(word);
        }
    }
    for (const std::string& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes(std::istreambuf_iterator<char>(in), {});
        std::vector<double> seconds;
        std::vector<double> cpuSeconds;
        std::size_t loads = 0;
        for (int run = 0; run < runs; ++run) {
            std::istringstream stream(bytes);
            TarqoBinFile tape;
            tape.setQuiet(true);
            timespec cpuStart{};
            timespec cpuEnd{};
            const auto start = std::chrono::steady_clock::now();
            clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuStart);
            tape.read(stream, 0);
            clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuEnd);
            const auto end = std::chrono::steady_clock::now();
            seconds.push_back(std::chrono::duration<double>(end - start).count());
            cpuSeconds.push_back(static_cast<double>(cpuEnd.tv_sec - cpuStart.tv_sec) +
                                 static_cast<double>(cpuEnd.tv_nsec - cpuStart.tv_nsec) / 1e9);
            loads = tape.loads.size();
        }
        std::sort(seconds.begin(), seconds.end());
        std::sort(cpuSeconds.begin(), cpuSeconds.end());
        const double median = seconds[seconds.size() / 2];
        const double cpu = cpuSeconds[cpuSeconds.size() / 2];
        std::printf("%s\t%zu bytes\t%zu loads\twall %.3f s %.1f MB/s\tcpu %.3f s %.1f MB/s\n",
                    file.c_str(), bytes.size(), loads, median, bytes.size() / median / 1e6, cpu,
                    bytes.size() / cpu / 1e6);
    }
    return 0;
}
