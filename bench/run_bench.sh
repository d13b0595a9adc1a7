#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# End-to-end performance of the converter: conversion throughput on a large binary tape image
# compared with dd writing the same number of bytes to the same file system, start-up to exit
# time on a one-load tape, and peak resident memory. Prints a Markdown table on standard
# output; progress goes to standard error.
#
# Usage: bench/run_bench.sh [path/to/kelvanto]        (default: build/kelvanto)
# Environment:
#   BENCH_DIR       folder for the inputs and outputs (default: a new folder under $TMPDIR or /tmp);
#                   the converter and dd both write there
#   RUNS            timed runs per large conversion and per dd run (default 7)
#   STARTUP_RUNS    timed runs of the one-load conversion (default 20)
#   LOADS           loads of 8192 bytes in the large tape at 44100 Hz 16-bit stereo (default
#                   112: about 800 MB of audio); the smaller formats convert a tape with 2, 4
#                   or 8 times as many loads, so that every format writes about the same
#                   amount and the figure is the throughput, not the start-up
#   COMPANION       path of kelvanto-tape: also times `play` to /dev/null against kelvanto
#                   writing /dev/null, and its peak memory
#   TAPE2WAV_INPUT  input for tape2wav, timed only when tape2wav is installed and this is set
#   READER_BENCH    path of bench/reader_bench: also times the reader on large markup
#   WRITE_FLOOR     path of bench/write_floor: also times, in the same alternating runs, a
#                   program that only copies a prepared block into its block and writes it (the
#                   least any renderer does: each byte put in place once), so that its ratio to
#                   dd shows this machine's ceiling for the converter's
#   MARKUP_MB       size of each generated markup file for the reader (default 20)
#   KEEP            1 keeps BENCH_DIR afterwards
#
# Wall times come from bash's EPOCHREALTIME around each command (fork and exec included);
# peak memory from /usr/bin/time -f %M. Each timed run starts after `sync`, with its output
# file removed after it, so neither the converter nor dd pays for the previous run's
# write-back. Neither of them syncs its own output: both are measured into the page cache.
set -euo pipefail
export LC_ALL=C

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
binary="${1:-$root/build/kelvanto}"
runs="${RUNS:-7}"
startup_runs="${STARTUP_RUNS:-20}"
loads="${LOADS:-112}"
load_bytes=8192
seed=20040131

say() { printf '%s\n' "$*" >&2; }
die() { say "run_bench.sh: $*"; exit 1; }

[[ -x "$binary" ]] || die "no executable converter at $binary (run make first, or give its path)"
binary="$(cd "$(dirname "$binary")" && pwd)/$(basename "$binary")"
floor_binary="${WRITE_FLOOR:-}"
[[ -z "$floor_binary" || -x "$floor_binary" ]] || die "no write_floor at $floor_binary"
[[ -x /usr/bin/time ]] || die "/usr/bin/time is needed for the memory figure"
command -v python3 >/dev/null || die "python3 is needed to generate the input"
[[ -n "${EPOCHREALTIME:-}" ]] || die "bash 5 or newer is needed (EPOCHREALTIME)"

created=0
if [[ -n "${BENCH_DIR:-}" ]]; then
    work="$BENCH_DIR"
    mkdir -p "$work"
else
    work="$(mktemp -d "${TMPDIR:-/tmp}/kelvanto-bench.XXXXXX")"
    created=1
fi
work="$(cd "$work" && pwd)"
cleanup() {
    [[ "${KEEP:-0}" == 1 ]] && return
    if [[ $created == 1 ]]; then
        rm -rf "$work"
    else
        rm -f "$work"/large*.wav "$work"/small*.wav "$work"/tape2wav.wav "$work"/dd.out \
            "$work"/floor.out "$work"/large.bin "$work"/small.bin "$work"/basic.bml "$work"/screen_*.txt \
            "$work"/convert.err "$work"/rss.txt "$work"/markup-*.bml "$work"/null.wav
    fi
}
trap cleanup EXIT

# ---- helpers ---------------------------------------------------------------------------

# Median of the numbers given as arguments.
median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 }
        END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# The smallest of the numbers given.
fastest() { printf '%s\n' "$@" | sort -g | head -n 1; }

# Seconds elapsed between two EPOCHREALTIME readings.
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.6f", b - a }'; }

# calc EXPRESSION [FORMAT]: floating-point arithmetic with awk.
calc() { awk "BEGIN { printf \"${2:-%.3f}\", $1 }"; }

file_size() { stat -c %s "$1"; }

# Runs the converter once; fails loudly if it does not finish its file.
convert() {
    local output="$1" input="$2"
    shift 2
    if ! (cd "$work" && "$binary" "$@" -w "$output" "$input") >"$work/convert.err" 2>&1; then
        cat "$work/convert.err" >&2
        die "conversion of $input with $* failed"
    fi
}

# Times one converter run, printed in seconds. The outputs of the previous run (the audio file
# and the screen pictures that text loads leave) are removed first: on ext4, overwriting an
# existing file flushes it on close, which would add several milliseconds of waiting. They are
# removed after the sync, right before the run, for the converter and dd alike: on a virtual
# machine whose balloon reports free pages, memory left free for a couple of seconds (a sync
# of the other program's 800 MB can take that long) goes back to the host, and each page of
# the next large write then costs a fault in the host, several times the write itself.
time_convert() {
    local output="$1" input="$2" start end
    shift 2
    sync
    rm -f "$output" "$work"/screen_*.txt
    start=$EPOCHREALTIME
    convert "$output" "$input" "$@"
    end=$EPOCHREALTIME
    elapsed "$start" "$end"
}

# Times dd writing a number of bytes, printed in seconds.
time_dd() {
    local bytes="$1" output="$work/dd.out" start end
    sync
    rm -f "$output"
    start=$EPOCHREALTIME
    dd if=/dev/zero of="$output" bs=1M count="$bytes" iflag=count_bytes status=none
    end=$EPOCHREALTIME
    elapsed "$start" "$end"
    [[ "$(file_size "$output")" == "$bytes" ]] || die "dd wrote a different size"
}

# Times write_floor writing a number of bytes, printed in seconds.
time_floor() {
    local bytes="$1" output="$work/floor.out" start end
    sync
    rm -f "$output"
    start=$EPOCHREALTIME
    "$floor_binary" "$output" "$bytes" || die "write_floor failed"
    end=$EPOCHREALTIME
    elapsed "$start" "$end"
}

# Peak resident memory of one converter run, in KiB.
peak_rss() {
    local output="$1" input="$2"
    shift 2
    rm -f "$output"
    (cd "$work" && /usr/bin/time -f %M -o "$work/rss.txt" "$binary" "$@" -w "$output" "$input") \
        >/dev/null 2>&1 || die "conversion of $input with $* failed under /usr/bin/time"
    tail -n 1 "$work/rss.txt"
}

# ---- inputs ----------------------------------------------------------------------------

load_before="$(cut -d' ' -f1-3 /proc/loadavg)"
say "Converter: $binary"
say "Work folder: $work"
large="$work/large.bin"
python3 "$here/make_tape.py" "$large" --loads "$loads" --length "$load_bytes" --seed "$seed"
say "Large tape: $loads binary loads of $load_bytes random bytes (seed $seed), $(file_size "$large") bytes"
# The throughput tapes: bytes per second of audio grow 8 times from 22050 Hz 8-bit mono to
# 44100 Hz 16-bit stereo, so the smaller formats get a tape with more loads (same seed).
declare -A tape_of=([8]="$large")
for factor in 1 2 4; do
    tape_of[$factor]="$work/large-x$((8 / factor)).bin"
    python3 "$here/make_tape.py" "${tape_of[$factor]}" --loads $((loads * 8 / factor)) \
        --length "$load_bytes" --seed "$seed"
done

if [[ -f "$root/examples/basic.bml" ]]; then
    small="$work/basic.bml"
    cp "$root/examples/basic.bml" "$small"
    small_label="examples/basic.bml"
else
    small="$work/small.bin"
    python3 "$here/make_tape.py" "$small" --loads 1 --length 2048 --seed "$seed"
    small_label="generated one-load .bin (2048 bytes)"
fi
say "One-load tape: $small_label"

configs=() labels=() factors=()
for k in 22050 44100; do for b in 8 16; do for c in 1 2; do
    configs+=("-k$k -b$b -c$c")
    labels+=("$k Hz, $b-bit, $([[ $c == 1 ]] && echo mono || echo stereo)")
    factors+=($(( (k / 22050) * (b / 8) * c )))
done; done; done

# ---- large tape: converter against dd --------------------------------------------------

declare -a tp_rows=() other_rows=()
overall=met
for i in "${!configs[@]}"; do
    read -r -a options <<<"${configs[$i]}"
    output="$work/large-$i.wav"
    tape="${tape_of[${factors[$i]}]}"
    say "Large tape ($(basename "$tape")) at ${labels[$i]}: warm-up"
    convert "$output" "$tape" -v0 "${options[@]}"
    bytes="$(file_size "$output")"
    conv_times=() dd_times=() floor_times=()
    for ((run = 1; run <= runs; run++)); do
        conv_times+=("$(time_convert "$output" "$tape" -v0 "${options[@]}")")
        dd_times+=("$(time_dd "$bytes")")
        floor_note=""
        if [[ -n "$floor_binary" ]]; then
            floor_times+=("$(time_floor "$bytes")")
            floor_note=", floor ${floor_times[-1]} s"
        fi
        say "  run $run: converter ${conv_times[-1]} s, dd ${dd_times[-1]} s$floor_note"
    done
    [[ "$(file_size "$output")" == "$bytes" ]] || die "the converter's output size changed"
    conv="$(median "${conv_times[@]}")"
    ddt="$(median "${dd_times[@]}")"
    conv_mbs="$(calc "$bytes / $conv / 1e6" %.0f)"
    dd_mbs="$(calc "$bytes / $ddt / 1e6" %.0f)"
    ratio="$(calc "$ddt / $conv" %.2f)"
    best_ratio="$(calc "$(fastest "${dd_times[@]}") / $(fastest "${conv_times[@]}")" %.2f)"
    floor_cells="- | -"
    if [[ ${#floor_times[@]} -gt 0 ]]; then
        floor_cells="$(calc "$ddt / $(median "${floor_times[@]}")" %.2f) | $(calc "$(fastest "${dd_times[@]}") / $(fastest "${floor_times[@]}")" %.2f)"
    fi
    verdict="$(awk -v r="$ratio" 'BEGIN { print (r >= 0.9 ? "met (0.9)" : "MISSED (0.9)") }')"
    [[ "$verdict" == MISSED* ]] && overall=missed
    tp_rows+=("| ${labels[$i]} | \`-v0 ${configs[$i]}\` | $((loads * 8 / factors[i])) | $bytes | $(calc "$conv" %.3f) | $conv_mbs | $(calc "$ddt" %.3f) | $dd_mbs | $ratio | $best_ratio | $floor_cells | $verdict |")
done

# ---- one-load tape: start to exit -------------------------------------------------------

for i in 0 7; do
    read -r -a options <<<"${configs[$i]}"
    output="$work/small-$i.wav"
    say "One-load tape at ${labels[$i]}: $startup_runs runs"
    convert "$output" "$small" -v0 "${options[@]}"
    times=()
    for ((run = 1; run <= startup_runs; run++)); do
        times+=("$(time_convert "$output" "$small" -v0 "${options[@]}")")
    done
    ms="$(calc "$(median "${times[@]}") * 1000" %.1f)"
    other_rows+=("| Start to exit, $small_label | \`-v0 ${configs[$i]}\` | $ms ms (median of $startup_runs, $(file_size "$output") bytes written) | - | - |")
done

# ---- play to /dev/null against kelvanto to /dev/null -------------------------------------

companion="${COMPANION:-}"
if [[ -n "$companion" ]]; then
    [[ -x "$companion" ]] || die "no kelvanto-tape at $companion"
    # kelvanto adds .wav to a name without it: it reaches /dev/null through a link.
    ln -sf /dev/null "$work/null.wav"
    for i in 0 7; do
        read -r -a options <<<"${configs[$i]}"
        # play takes each option's value as a word of its own.
        play_options=()
        for option in "${options[@]}"; do play_options+=("${option:0:2}" "${option:2}"); done
        tape="${tape_of[${factors[$i]}]}"
        conv_times=() play_times=()
        for ((run = 1; run <= runs; run++)); do
            start=$EPOCHREALTIME
            (cd "$work" && "$binary" -v0 "${options[@]}" -w "$work/null.wav" "$tape") >/dev/null 2>&1 ||
                die "kelvanto to /dev/null failed"
            end=$EPOCHREALTIME
            conv_times+=("$(elapsed "$start" "$end")")
            start=$EPOCHREALTIME
            "$companion" play "${play_options[@]}" "$tape" >/dev/null 2>"$work/convert.err" ||
                { cat "$work/convert.err" >&2; die "play failed"; }
            end=$EPOCHREALTIME
            play_times+=("$(elapsed "$start" "$end")")
        done
        conv="$(median "${conv_times[@]}")"
        play="$(median "${play_times[@]}")"
        ratio="$(calc "$play / $conv" %.2f)"
        verdict="$(awk -v r="$ratio" 'BEGIN { print (r <= 1.1 ? "met" : "MISSED") }')"
        [[ "$verdict" == MISSED ]] && overall=missed
        other_rows+=("| play / kelvanto to /dev/null, large tape ($(basename "$tape")) | \`${configs[$i]}\` | $(calc "$play" %.3f) s / $(calc "$conv" %.3f) s = $ratio | <= 1.1 | $verdict |")
    done
fi

# ---- peak resident memory ------------------------------------------------------------------

tape_kib=$(( ($(file_size "$large") + 1023) / 1024 ))
for i in 0 7; do
    read -r -a options <<<"${configs[$i]}"
    say "Peak memory at ${labels[$i]}"
    kib="$(peak_rss "$work/large-$i.wav" "$large" -v0 "${options[@]}")"
    mib="$(calc "$kib / 1024" %.1f)"
    verdict="$(awk -v k="$kib" -v t="$tape_kib" 'BEGIN { print (k < t + 8192 ? "met" : "MISSED") }')"
    [[ "$verdict" == MISSED ]] && overall=missed
    other_rows+=("| Peak resident memory, kelvanto, large tape ($tape_kib KiB) | \`-v0 ${configs[$i]}\` | $mib MiB ($kib KiB) | < tape + 8 MiB | $verdict |")
    if [[ -n "$companion" ]]; then
        read -r -a options <<<"${configs[$i]}"
        play_options=()
        for option in "${options[@]}"; do play_options+=("${option:0:2}" "${option:2}"); done
        /usr/bin/time -f %M -o "$work/rss.txt" "$companion" play "${play_options[@]}" "$large" \
            >/dev/null 2>&1 || die "play failed under /usr/bin/time"
        kib="$(tail -n 1 "$work/rss.txt")"
        verdict="$(awk -v k="$kib" -v t="$tape_kib" 'BEGIN { print (k < t + 8192 ? "met" : "MISSED") }')"
        [[ "$verdict" == MISSED ]] && overall=missed
        other_rows+=("| Peak resident memory, play, large tape | \`${configs[$i]}\` | $(calc "$kib / 1024" %.1f) MiB ($kib KiB) | < tape + 8 MiB | $verdict |")
    fi
done

# ---- tape2wav, when present -------------------------------------------------------------

if command -v tape2wav >/dev/null 2>&1 && [[ -n "${TAPE2WAV_INPUT:-}" ]]; then
    say "tape2wav: $runs runs on $TAPE2WAV_INPUT"
    times=()
    for ((run = 1; run <= runs; run++)); do
        rm -f "$work/tape2wav.wav"
        sync
        start=$EPOCHREALTIME
        tape2wav "$TAPE2WAV_INPUT" "$work/tape2wav.wav" >/dev/null 2>&1 || die "tape2wav failed"
        end=$EPOCHREALTIME
        times+=("$(elapsed "$start" "$end")")
    done
    t2w_bytes="$(file_size "$work/tape2wav.wav")"
    t2w="$(median "${times[@]}")"
    other_rows+=("| tape2wav, $(basename "$TAPE2WAV_INPUT") | default | $(calc "$t2w" %.3f) s, $(calc "$t2w_bytes / $t2w / 1e6" %.0f) MB/s ($t2w_bytes bytes) | - | - |")
elif command -v tape2wav >/dev/null 2>&1; then
    other_rows+=("| tape2wav | - | skipped: installed, but no TAPE2WAV_INPUT given | - | - |")
else
    other_rows+=("| tape2wav | - | skipped: not installed | - | - |")
fi

# ---- the reader on large markup ---------------------------------------------------------------

declare -a reader_rows=()
if [[ -n "${READER_BENCH:-}" ]]; then
    [[ -x "$READER_BENCH" ]] || die "no reader benchmark at $READER_BENCH"
    markup_mb="${MARKUP_MB:-20}"
    for kind in hex basic brackets; do
        say "Markup of kind $kind: $markup_mb MB"
        python3 "$here/make_markup.py" "$work/markup-$kind.bml" --kind "$kind" \
            --megabytes "$markup_mb" --seed "$seed"
        # One line: file, bytes, loads, "wall S s R MB/s", "cpu S s R MB/s" (tab-separated).
        line="$("$READER_BENCH" --runs "$runs" "$work/markup-$kind.bml")"
        IFS=$'\t' read -r _ bytes_field loads_field wall_field cpu_field <<<"$line"
        read -r _ _ _ wall_mbs _ <<<"$wall_field"
        read -r _ _ _ cpu_mbs _ <<<"$cpu_field"
        verdict="$(awk -v r="$wall_mbs" 'BEGIN { print (r >= 20 ? "met" : "MISSED") }')"
        [[ "$verdict" == MISSED ]] && overall=missed
        reader_rows+=("| $kind | ${bytes_field% bytes} | ${loads_field% loads} | $wall_mbs | $cpu_mbs | >= 20 MB/s | $verdict |")
    done
fi
# ---- report ----------------------------------------------------------------------------------

cpu="$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo 2>/dev/null || true)"
fs="$(df -PT "$work" | awk 'NR == 2 { print $2 }')"
cat <<EOF
Large tape: binary loads (format 3) of $load_bytes random bytes each, seed $seed, header 1 s, footer 0.25 s, gap 1 s;
$loads loads at 44100 Hz 16-bit stereo, 2, 4 or 8 times as many in the smaller formats (about the same output in each).
Machine: ${cpu:-unknown CPU}, $(nproc) cores, Linux $(uname -r), output on $fs.
Wall time is the median of $runs runs (converter and dd alternating, each after \`sync\` into a fresh file, neither syncing its output);
dd writes the same number of bytes with \`bs=1M\` from /dev/zero into the same folder. MB = 10^6 bytes.
Ratio = dd time / converter time (1.0 means as fast as dd; target >= 0.9 in every format), of the medians;
best = the same of the fastest run of each (on a virtual machine a large write into a fresh file may
take several times as long as the one before, for dd and the converter alike: the best runs show the
programs' own speed). Floor = the same ratios for bench/write_floor, which fills each 256 KiB
block with one copy of a block prepared in the cache and writes it (no tape read, nothing looked up
or computed: each byte put in place once, the least any renderer does) (- without WRITE_FLOOR).
Load of the machine before the runs: $load_before; after: $(cut -d' ' -f1-3 /proc/loadavg).

| Large tape | Options | Loads | Bytes written | Converter s | Converter MB/s | dd s | dd MB/s | Ratio to dd | Best | Floor | Floor best | Target |
|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|
EOF
printf '%s\n' "${tp_rows[@]}"
cat <<EOF

| Measurement | Options | Figure | Target | Result |
|---|---|---|---|---|
EOF
printf '%s\n' "${other_rows[@]}"
if [[ ${#reader_rows[@]} -gt 0 ]]; then
    cat <<EOT

Reader alone: bench/reader_bench reads markup made by bench/make_markup.py ($markup_mb MB per kind) from memory,
$runs times; median MB/s of input by wall time and by the process's CPU time.

| Markup | Bytes | Loads | Wall MB/s | CPU MB/s | Target | Result |
|---|---:|---:|---:|---:|---|---|
EOT
    printf '%s\n' "${reader_rows[@]}"
fi
echo
echo "All targets: $overall."
