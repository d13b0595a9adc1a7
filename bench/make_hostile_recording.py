#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes a hostile recording for the decoder's memory bound: a header tone, then characters
of random value, each framed by its start and stop bit, to the end, with no footer anywhere
(with EVERY, a new header tone and sync character every EVERY blocks of 4096 characters).

Usage: make_hostile_recording.py OUT.wav [MINUTES] [SEED] [EVERY]   (default 100 minutes)
8-bit mono PCM at 22050 Hz: a 0 bit is one cycle of 7 frames, a 1 bit one of 14, each cycle
low then high; data bits go least significant first. The decoder reads it as loads that run
on without end, with a doubt at every character whose framing is off.
Measure with:
  /usr/bin/time -v kelvanto-tape decode OUT.wav -o out.bml --json out.json
"""
import random
import struct
import sys

RATE = 22050
LOW, HIGH = 0x30, 0xD0


def cycle(frames):
    return bytes([LOW]) * (frames // 2) + bytes([HIGH]) * (frames - frames // 2)


ZERO, ONE = cycle(7), cycle(14)
CHARACTERS = [ZERO + b''.join(ONE if value >> bit & 1 else ZERO for bit in range(8)) + ONE
              for value in range(256)]


def main():
    out = sys.argv[1]
    minutes = float(sys.argv[2]) if len(sys.argv) > 2 else 100.0
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 1)
    # With a fourth argument N, every N blocks of characters a new header tone and sync
    # character start another load that runs away: many loads, each cut at the longest load.
    every = int(sys.argv[4]) if len(sys.argv) > 4 else 0
    total = int(minutes * 60 * RATE)
    with open(out, 'wb') as f:
        f.write(b'\0' * 44)
        written = 0
        tone = ONE * (RATE // 14) + CHARACTERS[0xA5]  # a second of header tone, the sync
        f.write(tone)
        written += len(tone)
        blocks = 0
        while written < total:
            blocks += 1
            if every and blocks % every == 0:
                f.write(tone)
                written += len(tone)
            block = b''.join(CHARACTERS[rng.getrandbits(8)] for _ in range(4096))
            f.write(block)
            written += len(block)
        f.seek(0)
        f.write(b'RIFF' + struct.pack('<I', 36 + written) + b'WAVEfmt ' +
                struct.pack('<IHHIIHH', 16, 1, 1, RATE, RATE, 1, 8) + b'data' +
                struct.pack('<I', written))


if __name__ == '__main__':
    main()
