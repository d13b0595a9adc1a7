# Front door: make, make test, make demo, make install, make clean.
# The C++ build itself lives in CMakeLists.txt; these targets only drive it.

BUILD      ?= build
SAN_BUILD  ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
PREFIX     ?= /usr/local
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 60

.PHONY: all test sanitize-test demo install clean fuzz fuzz-short fuzz-build bench valgrind-test

all:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

test: all
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

sanitize-test:
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKELVANTO_SANITIZE=ON
	cmake --build $(SAN_BUILD) -j $(JOBS)
	ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS)

# libFuzzer targets (fuzz/): built with clang++ in their own folder, then each one runs for
# FUZZ_SECONDS seconds. Findings stop the run; their inputs land in fuzz/out/, logs in fuzz/logs/.
fuzz-build:
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DKELVANTO_FUZZ=ON -DKELVANTO_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_tape fuzz_image fuzz_basic_line fuzz_decode

fuzz: fuzz-build
	bash fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

fuzz-short:
	$(MAKE) fuzz FUZZ_SECONDS=30

# The command-line tests again, with every run of the tool under valgrind: a memory error or
# a leak makes that run end with status 99, which no test expects.
VALGRIND ?= valgrind --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect -q
valgrind-test: all
	cd $(BUILD)/tests && KELVANTO_RUNNER="$(VALGRIND)" ./test_command_line
	cd $(BUILD)/tests && KELVANTO_RUNNER="$(VALGRIND)" ./test_fault_injection

# Converts the example BASIC tape; the run's own lines say what it wrote. It runs inside the
# build folder because text loads also leave a screen_<n>.txt picture in the working folder.
demo: all
	cd $(BUILD) && ./kelvanto -w demo ../examples/basic.bml
	@ls -l $(BUILD)/demo.wav

# Times the release converter on a large generated tape against dd, its start-up and its peak
# memory, and prints a Markdown table (bench/run_bench.sh). Micro-benchmarks: see bench/.
bench: all
	bash bench/run_bench.sh $(BUILD)/kelvanto

install: all
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD)
