# Front door: make, make test, make demo, make install, make clean.
# The C++ build itself lives in CMakeLists.txt; these targets only drive it.

BUILD      ?= build
SAN_BUILD  ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
PREFIX     ?= /usr/local
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 60

.PHONY: all test sanitize-test demo install clean fuzz bench

all:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

test: all
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

sanitize-test:
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKELVANTO_SANITIZE=ON
	cmake --build $(SAN_BUILD) -j $(JOBS)
	ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS)

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
