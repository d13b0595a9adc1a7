#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs each fuzz target for a number of seconds, one after the other, on the committed seeds
# plus what earlier runs found (fuzz/out/, not committed). Usage: fuzz/run.sh BUILD SECONDS [TARGET...]
# A crash, leak, hang or sanitizer report stops the run with its input saved in fuzz/out/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "$1" && pwd)
seconds=$2
shift 2
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(tape image basic_line writer decode audio_file takes)

# The targets change their working folder, so every path handed to libFuzzer is absolute.
# No allocation is pre-filled with a pattern: that only helps spot uninitialised reads by eye,
# and costs a memset per allocation (tens of percent of a run).
export ASAN_OPTIONS=${ASAN_OPTIONS:-max_malloc_fill_size=0:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p "$root/fuzz/logs"
status=0
for target in "${targets[@]}"; do
    options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1)
    # FUZZ_RUNS=N also stops a target after N runs.
    [ -z "${FUZZ_RUNS:-}" ] || options+=(-runs="$FUZZ_RUNS")
    case $target in
        tape) options+=(-max_len=1048576 -dict="$root/fuzz/tape.dict") ;;
        # A line's characters are each looked up in the code tables; the third input byte
        # reaches the end of the data without long lines.
        basic_line) options+=(-max_len=256) ;;
        image) options+=(-max_len=4096) ;;
        writer) options+=(-max_len=4096 -dict="$root/fuzz/tape.dict") ;;
        decode) options+=(-max_len=8192) ;;
        takes) options+=(-max_len=2048) ;;
        # Room for a few frames of a compressed stream behind its headers.
        audio_file) options+=(-max_len=16384) ;;
        *) echo "unknown fuzz target $target" >&2; exit 2 ;;
    esac
    # Leaks inside the system's audio libraries are theirs (fuzz/audio_libraries.supp).
    leaks=${LSAN_OPTIONS:-}
    [ "$target" != audio_file ] || leaks="${leaks:+$leaks:}suppressions=$root/fuzz/audio_libraries.supp"
    corpus="$root/fuzz/out/$target"
    mkdir -p "$corpus"
    log="$root/fuzz/logs/$target-$(date +%Y%m%d-%H%M%S).log"
    echo "fuzz_$target: ${seconds} s, log $log"
    if LSAN_OPTIONS=$leaks "$build/fuzz/fuzz_$target" "${options[@]}" -artifact_prefix="$root/fuzz/out/$target-" \
        "$corpus" "$root/fuzz/corpus/${target/writer/tape}" >"$log" 2>&1; then
        grep -E "^#[0-9]+[[:space:]]+DONE" "$log" | tail -1 | sed "s/^/  /"
    else
        status=1
        echo "  fuzz_$target FAILED; the end of its log:" >&2
        tail -40 "$log" >&2
    fi
done
exit $status
