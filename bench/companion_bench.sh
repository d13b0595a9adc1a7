#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Throughput and peak memory of kelvanto-tape's convert and list on 50 MB inputs: a binary tape
# image of random binary loads (bench/make_tape.py) and a markup one of HEX lines
# (bench/make_markup.py). Prints a Markdown table; progress goes to standard error.
#
# Usage: bench/companion_bench.sh [path/to/kelvanto-tape]     (default: build/kelvanto-tape)
# Environment: RUNS (default 3), INPUT_MB (default 50), BENCH_DIR, KEEP as in run_bench.sh.
# MB/s is of input (10^6 bytes) by wall time, median of RUNS; peak memory and CPU time (user +
# system, which other work on the machine disturbs less than wall time) from /usr/bin/time.
set -euo pipefail
export LC_ALL=C

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
tool="${1:-$root/build/kelvanto-tape}"
runs="${RUNS:-3}"
input_mb="${INPUT_MB:-50}"
seed=20040131

say() { printf '%s\n' "$*" >&2; }
die() { say "companion_bench.sh: $*"; exit 1; }
[[ -x "$tool" ]] || die "no kelvanto-tape at $tool"
[[ -x /usr/bin/time ]] || die "/usr/bin/time is needed for the memory figure"

created=0
if [[ -n "${BENCH_DIR:-}" ]]; then
    work="$BENCH_DIR"; mkdir -p "$work"
else
    work="$(mktemp -d "${TMPDIR:-/tmp}/kelvanto-companion-bench.XXXXXX")"; created=1
fi
cleanup() {
    [[ "${KEEP:-0}" == 1 ]] && return
    if [[ $created == 1 ]]; then rm -rf "$work"; else rm -f "$work"/cb-*; fi
}
trap cleanup EXIT

median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 }
        END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
calc() { awk "BEGIN { printf \"${2:-%.3f}\", $1 }"; }
file_size() { stat -c %s "$1"; }

load_before="$(cut -d' ' -f1-3 /proc/loadavg)"
bin="$work/cb-input.bin"
bml="$work/cb-input.bml"
loads=$(( input_mb * 1000000 / 8230 ))
python3 "$here/make_tape.py" "$bin" --loads "$loads" --length 8192 --seed "$seed" --fast --bad-checksums
# The markup input: binary loads of 8190 bytes, which a binary image can hold again, converted
# to markup by the tool itself (HEX lines take about 6.5 characters a byte).
python3 "$here/make_tape.py" "$work/cb-small.bin" --loads $(( input_mb * 1000000 / 53800 )) \
    --length 8190 --seed "$seed" --fast --bad-checksums
"$tool" convert --force "$work/cb-small.bin" "$bml" 2>/dev/null
say "Inputs: $bin ($(file_size "$bin") bytes), $bml ($(file_size "$bml") bytes)"

declare -a rows=()
overall=met
# measure LABEL INPUT OUTPUT ARGS...: OUTPUT is a file name (removed before each run) or -.
measure() {
    local label="$1" input="$2" output="$3" start end kib
    shift 3
    local times=()
    for ((run = 1; run <= runs; run++)); do
        [[ "$output" != - ]] && rm -f "$output"
        sync
        start=$EPOCHREALTIME
        if [[ "$output" == - ]]; then
            "$tool" "$@" >/dev/null 2>"$work/cb-err" || { cat "$work/cb-err" >&2; die "$label failed"; }
        else
            "$tool" "$@" 2>"$work/cb-err" || { cat "$work/cb-err" >&2; die "$label failed"; }
        fi
        end=$EPOCHREALTIME
        times+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }')")
        say "  $label run $run: ${times[-1]} s"
    done
    [[ "$output" != - ]] && rm -f "$output"
    /usr/bin/time -f '%M %U %S' -o "$work/cb-rss" "$tool" "$@" >/dev/null 2>&1 || die "$label failed under time"
    [[ "$output" != - ]] && rm -f "$output"
    local cpu
    read -r kib cpu < <(tail -n 1 "$work/cb-rss" | awk '{ print $1, $2 + $3 }')
    local t bytes mbs in_kib speed memory
    t="$(median "${times[@]}")"
    bytes="$(file_size "$input")"
    mbs="$(calc "$bytes / $t / 1e6" %.0f)"
    in_kib=$(( bytes / 1024 ))
    speed="$(awk -v r="$mbs" 'BEGIN { print (r >= 50 ? "met" : "MISSED") }')"
    memory="$(awk -v k="$kib" -v i="$in_kib" 'BEGIN { print (k < i + 16384 ? "met" : "MISSED") }')"
    [[ "$speed" == MISSED || "$memory" == MISSED ]] && overall=missed
    rows+=("| $label | $bytes | $(calc "$t" %.3f) | $mbs | $speed | $(calc "$cpu * 1000 / ($bytes / 1e6)" %.1f) | $(calc "$kib / 1024" %.1f) | $memory |")
}

measure "convert .bin to .bml" "$bin" "$work/cb-out.bml" convert --force "$bin" "$work/cb-out.bml"
measure "convert .bml to .bin" "$bml" "$work/cb-out.bin" convert --force "$bml" "$work/cb-out.bin"
measure "list .bin" "$bin" - list "$bin"
measure "list --hex .bin" "$bin" - list --hex "$bin"
measure "list .bml" "$bml" - list "$bml"
measure "list --hex .bml" "$bml" - list --hex "$bml"

cat <<EOT
kelvanto-tape convert and list, inputs of about $input_mb MB: $(file_size "$bin") bytes of binary loads, $(file_size "$bml") bytes of HEX markup.
Median wall time of $runs runs, output to a file on $(df -PT "$work" | awk 'NR == 2 { print $2 }') or to /dev/null; MB = 10^6 bytes of input.
Targets: >= 50 MB/s of input; peak memory < input + 16 MiB. Load before: $load_before; after: $(cut -d' ' -f1-3 /proc/loadavg).

| Command | Input bytes | s | MB/s | >= 50 MB/s | CPU ms/MB | Peak MiB | < input + 16 MiB |
|---|---:|---:|---:|---|---:|---:|---|
EOT
printf '%s\n' "${rows[@]}"
echo
echo "All targets: $overall."
