# SPDX-License-Identifier: MIT
# Front door: make, make test, make demo, make install, make uninstall, make clean.
# The C++ build itself lives in CMakeLists.txt; these targets only drive it.
# Installing follows the GNU conventions: PREFIX (default /usr/local) and DESTDIR for staging.

BUILD      ?= build
SAN_BUILD  ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
PREFIX     ?= /usr/local
DESTDIR    ?=
# Warnings as errors: WERROR=ON in CI and always in the sanitizer build, where a new warning is
# fixed at once. Unset, a build folder keeps what it has (off in a new one), so that make test
# after make demo reuses every object of the programs.
WERROR     ?=
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 60

# The programs that make demo builds (and nothing else: no tests).
DEMO_TARGETS ?= kelvanto kelvanto-tape
# Package groups of tools/packages.list that each kind of build needs.
DEPS_BUILD ?= build
DEPS_TEST  ?= $(DEPS_BUILD) test
ENSURE_DEPS = sh tools/ensure-deps

.PHONY: all configure configure-tests build-tests test sanitize-test demo install uninstall clean fuzz \
	fuzz-short fuzz-build bench valgrind-test

# The programs alone: configuring them needs no GoogleTest. Warnings stay warnings unless the
# build folder was configured with WERROR=ON (KELVANTO_WERROR is kept in its cache). A new
# folder gets no tests; one that has them keeps them (switched off, their binaries would stay
# behind the sources while a later ctest there still ran them).
configure:
	@$(ENSURE_DEPS) $(DEPS_BUILD)
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(if $(wildcard $(BUILD)/CMakeCache.txt),,-DKELVANTO_TESTS=OFF)

all: configure
	cmake --build $(BUILD) -j $(JOBS)

# The same build folder with the tests switched on: the programs' objects are reused as they
# are (the compiler flags do not change), only the tests are compiled.
configure-tests:
	@$(ENSURE_DEPS) $(DEPS_TEST)
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DKELVANTO_TESTS=ON $(if $(WERROR),-DKELVANTO_WERROR=$(WERROR))

build-tests: configure-tests
	cmake --build $(BUILD) -j $(JOBS)

test: build-tests
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The tests under AddressSanitizer and UndefinedBehaviorSanitizer, optimised as a packager
# builds (-O2 -g), so the optimiser's warnings and faults show up here too. CI gives the
# distribution's own flags in SAN_CXXFLAGS and SAN_LDFLAGS, with SAN_BUILD_TYPE=None so that
# they alone decide (as in a Debian package build).
SAN_CXXFLAGS ?=
SAN_LDFLAGS  ?=
SAN_BUILD_TYPE ?= RelWithDebInfo
sanitize-test:
	@$(ENSURE_DEPS) $(DEPS_TEST)
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=$(SAN_BUILD_TYPE) -DKELVANTO_SANITIZE=ON \
		-DKELVANTO_TESTS=ON -DKELVANTO_WERROR=ON \
		-DCMAKE_CXX_FLAGS="$(SAN_CXXFLAGS)" -DCMAKE_EXE_LINKER_FLAGS="$(SAN_LDFLAGS)"
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# libFuzzer targets (fuzz/): built with clang++ in their own folder, then each one runs for
# FUZZ_SECONDS seconds. Findings stop the run; their inputs land in fuzz/out/, logs in fuzz/logs/.
fuzz-build:
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DKELVANTO_FUZZ=ON -DKELVANTO_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_tape fuzz_image fuzz_basic_line fuzz_writer fuzz_decode \
		fuzz_audio_file fuzz_takes

fuzz: fuzz-build
	bash fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

fuzz-short:
	$(MAKE) fuzz FUZZ_SECONDS=10

# The command-line tests again, with every run of the tool under valgrind: a memory error or
# a leak makes that run end with status 99, which no test expects.
VALGRIND ?= valgrind --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect -q
VALGRIND_TESTS ?= test_command_line test_fault_injection test_audio_output test_input_limits \
	test_companion test_output_safety
valgrind-test: build-tests
	cd $(BUILD)/tests && for t in $(VALGRIND_TESTS); do \
		filter=; [ $$t != test_output_safety ] || \
			filter=--gtest_filter=-OutputSafety.OfTwoRunsRacingForANewNameExactlyOneWins; \
		KELVANTO_RUNNER="$(VALGRIND)" ./$$t $$filter || exit 1; done

# Converts the example BASIC tape; the run's own lines say what it wrote. It runs inside the
# build folder because text loads also leave a screen_<n>.txt picture in the working folder.
demo: configure
	cmake --build $(BUILD) -j $(JOBS) --target $(DEMO_TARGETS)
	cd $(BUILD) && ./kelvanto -w demo ../examples/basic.bml
	@ls -l $(BUILD)/demo.wav
	cd $(BUILD) && ./kelvanto-tape decode --force demo.wav -o demo-decoded.bml

# Times the release converter on a large generated tape against dd in all eight formats, play
# against the converter, start-up, peak memory and the reader on large markup
# (bench/run_bench.sh), then convert and list on 50 MB inputs (bench/companion_bench.sh).
# Micro-benchmarks: see bench/.
BENCH_BUILD ?= build-bench
bench:
	@$(ENSURE_DEPS) $(DEPS_BUILD)
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DKELVANTO_TESTS=OFF -DKELVANTO_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target kelvanto kelvanto-tape reader_bench write_floor
	READER_BENCH=$(BENCH_BUILD)/bench/reader_bench COMPANION=$(BENCH_BUILD)/kelvanto-tape \
		WRITE_FLOOR=$(BENCH_BUILD)/bench/write_floor \
		bash bench/run_bench.sh $(BENCH_BUILD)/kelvanto
	bash bench/companion_bench.sh $(BENCH_BUILD)/kelvanto-tape

# What make install puts in place, relative to $(DESTDIR)$(PREFIX); uninstall removes exactly
# these, and then the folders that install made, when they are empty.
INSTALLED_FILES = bin/kelvanto bin/kelvanto-tape share/man/man1/kelvanto.1 \
	share/man/man1/kelvanto-tape.1 share/doc/kelvanto/LICENSE
INSTALL_ROOT = $(DESTDIR)$(PREFIX)
# The folders install makes, deepest first, and the record of those it really made (one per
# install root, so that a staged install never touches the live system).
INSTALL_DIRS = share/man/man1 share/man share/doc/kelvanto share/doc share bin .
DIR_RECORD = $(BUILD)/installed-dirs$(subst /,_,$(INSTALL_ROOT)).txt

install: all
	@mkdir -p $(BUILD)
	@for d in $(INSTALL_DIRS); do p="$(INSTALL_ROOT)/$$d"; [ "$$d" = . ] && p="$(INSTALL_ROOT)"; \
		[ -d "$$p" ] || echo "$$p"; done >> $(DIR_RECORD)
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix $(PREFIX)

uninstall:
	@for f in $(INSTALLED_FILES); do \
		if [ -e "$(INSTALL_ROOT)/$$f" ] || [ -L "$(INSTALL_ROOT)/$$f" ]; then \
			rm -fv "$(INSTALL_ROOT)/$$f"; fi; done
	@if [ -f $(DIR_RECORD) ]; then \
		for d in $(INSTALL_DIRS); do p="$(INSTALL_ROOT)/$$d"; [ "$$d" = . ] && p="$(INSTALL_ROOT)"; \
			if grep -qxF "$$p" $(DIR_RECORD); then \
				rmdir "$$p" 2>/dev/null && echo "removed folder $$p"; \
			fi; true; done; \
		rm -f $(DIR_RECORD); fi

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD)
