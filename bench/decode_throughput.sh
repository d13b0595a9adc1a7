#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Decode throughput against reading the same file: makes a recording of about an hour (90
# binary loads of 8192 bytes, 44100 Hz, 16 bits, stereo) with kelvanto, then times
# `cat RECORDING >/dev/null` and `kelvanto-tape decode` on it in the same run.
# Usage: bench/decode_throughput.sh BUILD [LOADS]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
loads=${2:-90}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$(dirname "$0")"
python3 make_tape.py "$work/long.bin" --loads "$loads" --length 8192 --gap 0.5 >/dev/null
"$build/kelvanto" -v0 -k 44100 -b 16 -c 2 -w "$work/long.wav" "$work/long.bin"
seconds=$(python3 -c "import os;print(round((os.path.getsize('$work/long.wav')-44)/176400,1))")
cat "$work/long.wav" >/dev/null  # warm the page cache for both
t0=$(date +%s.%N); cat "$work/long.wav" >/dev/null; t1=$(date +%s.%N)
/usr/bin/time -f "%e %U %M" -o "$work/time" "$build/kelvanto-tape" decode -o "$work/back.bin" \
    "$work/long.wav" >"$work/report"
read -r wall user peak <"$work/time"
echo "| recording | cat (s) | decode wall (s) | decode user (s) | x real time | peak memory |"
echo "|---|---:|---:|---:|---:|---:|"
echo "| ${seconds} s, 44100/16/2, ${loads} loads | $(echo "$t1 - $t0" | bc) | $wall | $user |" \
    "$(echo "$seconds / $user" | bc) | $((peak / 1024)) MiB |"
grep "loads:" "$work/report" | sed "s/^/decoded: /"
