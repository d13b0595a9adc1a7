#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes a binary tape image (.bin) of random binary loads for benchmarking.

Layout, with no line breaks:
  <TARQO format=1> load count (1 byte), file length (word), two zero bytes
  per load:
    <LOAD format=3> load number (1 byte)
    <HEADER> seconds pair </HEADER>
    <DATA> length (word) data bytes (+1 pad byte when the length is odd) </DATA>
    <FOOTER> seconds pair </FOOTER>
    <GAP> seconds pair </GAP>
    </LOAD>
  </TARQO>
A word is 16 bits, least significant byte first; a seconds pair is the whole seconds and the
hundredths. The file length word holds the low 16 bits of the file size (the reader keeps it
for information only).

Binary loads carry their checksum as their last character. By default the last data byte is
chosen so that the checksum is right, as on a real tape, so the converter sends the data
unchanged and prints no repair lines; --bad-checksums keeps all bytes random.

Standard library only. The same arguments and seed always give the same file.
"""

import argparse
import random
import sys


def reverse_bits(value):
    result = 0
    for bit in range(8):
        if value & (1 << bit):
            result |= 0x80 >> bit
    return result


def interleave_pair(first, second):
    """High takes bits 1, 3, 5, 7 and low bits 0, 2, 4, 6, first before second, top down."""
    high = 0
    low = 0
    for bit in range(4):
        odd = 2 * bit + 1
        even = 2 * bit
        high |= ((first >> odd) & 1) << (7 - 2 * bit)
        high |= ((second >> odd) & 1) << (6 - 2 * bit)
        low |= ((first >> even) & 1) << (7 - 2 * bit)
        low |= ((second >> even) & 1) << (6 - 2 * bit)
    return high, low


def received_pair(data, j, half):
    """The two characters a receiver reads for pair j of a binary load."""
    high, low = interleave_pair(data[j], data[j + half])
    return reverse_bits(high), reverse_bits(low)


def final_pair_ok(data, length, half, total):
    """True when the final pair's checksum character is the one the converter computes,
    given total, 0xA5 plus every character of the pairs before it (modulo 256)."""
    j = half - 1
    first, second = received_pair(data, j, half)
    last_flag = 1 if j + half >= length else 0
    computed = (0xFF - total) & 0xFF
    if last_flag == 0:
        computed = (computed - first) & 0xFF
    stated = first if last_flag == 1 else second
    return computed == stated


def fix_checksum(data, length):
    """Changes the bytes of the final pair until the checksum held in the data is right."""
    half = (length + 1) // 2
    if half == 0:
        return
    total = 0xA5
    for j in range(half - 1):
        first, second = received_pair(data, j, half)
        total += first + second
    total &= 0xFF
    # The final pair interleaves data[half - 1] with data[2 * half - 1].
    for first_source in [data[half - 1]] + list(range(256)):
        data[half - 1] = first_source
        for second_source in range(256):
            data[2 * half - 1] = second_source
            if final_pair_ok(data, length, half, total):
                return
    raise RuntimeError("no byte pair gives a right checksum")


def seconds_pair(seconds):
    whole = int(seconds)
    hundredths = int(round((seconds - whole) * 100))
    if hundredths > 99:
        whole, hundredths = whole + 1, 0
    if not 0 <= whole <= 255:
        raise ValueError("seconds must be between 0 and 255")
    return bytes([whole, hundredths])


def word(value):
    return bytes([value & 0xFF, (value >> 8) & 0xFF])


def build_tape(loads, length, seed, header, footer, gap, fix, fast=False):
    if not 1 <= loads <= 65535:
        raise ValueError("load count must be between 1 and 65535")
    if not 0 <= length <= 8192:
        raise ValueError("data length must be between 0 and 8192")
    rng = random.Random(seed)
    body = bytearray()
    for number in range(1, loads + 1):
        stored = length + (length & 1)
        if fast:
            data = bytearray(rng.randbytes(stored))
        else:
            data = bytearray(rng.getrandbits(8) for _ in range(stored))
        if fix:
            fix_checksum(data, length)
        body += load_element(number, data, length, header, footer, gap)
    return tape_image(body, loads)


def load_element(number, data, length, header, footer, gap):
    """One binary load: data holds its stored bytes (length, plus a pad byte when odd)."""
    return (b"<LOAD format=3>" + bytes([number & 0xFF]) +
            b"<HEADER>" + seconds_pair(header) + b"</HEADER>" +
            b"<DATA>" + word(length) + bytes(data) + b"</DATA>" +
            b"<FOOTER>" + seconds_pair(footer) + b"</FOOTER>" +
            b"<GAP>" + seconds_pair(gap) + b"</GAP>" +
            b"</LOAD>")


def tape_image(body, loads):
    """The whole image around the load elements in body."""
    root = b"<TARQO format=1>"
    tail = b"</TARQO>"
    size = len(root) + 5 + len(body) + len(tail)
    # The count and the length are for information only; a larger tape keeps their ends.
    return root + bytes([min(loads, 255)]) + word(size & 0xFFFF) + b"\x00\x00" + bytes(body) + tail


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output", help="the .bin file to write")
    parser.add_argument("--loads", type=int, default=20, help="number of loads (default 20)")
    parser.add_argument("--length", type=int, default=8192,
                        help="data bytes per load (default 8192)")
    parser.add_argument("--seed", type=int, default=20040131, help="random seed")
    parser.add_argument("--header", type=float, default=1.0, help="header tone, seconds")
    parser.add_argument("--footer", type=float, default=0.25, help="footer tone, seconds")
    parser.add_argument("--gap", type=float, default=1.0, help="silence after a load, seconds")
    parser.add_argument("--bad-checksums", action="store_true",
                        help="keep every data byte random (the converter repairs the checksums)")
    parser.add_argument("--fast", action="store_true",
                        help="draw each load's bytes at once (other bytes than without it; for "
                             "tapes of thousands of loads)")
    args = parser.parse_args()
    try:
        tape = build_tape(args.loads, args.length, args.seed, args.header, args.footer,
                          args.gap, not args.bad_checksums, args.fast)
    except (ValueError, RuntimeError) as error:
        print(f"make_tape.py: {error}", file=sys.stderr)
        return 2
    with open(args.output, "wb") as out:
        out.write(tape)
    return 0


if __name__ == "__main__":
    sys.exit(main())
