#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Writes tape.bin: a binary Tarqo tape image with two loads of format 3, the second one with a
# wrong checksum character so that kelvanto reports and repairs it. Standard library only.
"""Build examples/tape.bin.

A format-3 load sends its data as pairs: pair j interleaves data[j] with data[j + H] bit by
bit (H = half the length, rounded up), and the receiver reads each interleaved byte least
significant bit first. This script starts from the characters the receiver is meant to read,
appends the checksum character, and works out the data bytes that make the tape carry them.

Checksum rule: 0xA5 (the sync character) + every data character + checksum == 0xFF (mod 256).
"""

import argparse
import pathlib
import struct


def reverse_bits(value):
    """Bit i of the result is bit 7 - i of the value."""
    result = 0
    for bit in range(8):
        if value & (1 << bit):
            result |= 1 << (7 - bit)
    return result


def interleave_pair(first, second):
    """High takes bits 1, 3, 5, 7 and low bits 0, 2, 4, 6 of both bytes, first before second,
    from the top down. Applying it to its own results gives back first and second."""
    high = low = 0
    for i in range(4):
        high |= ((first >> (2 * i + 1)) & 1) << (7 - 2 * i)
        high |= ((second >> (2 * i + 1)) & 1) << (6 - 2 * i)
        low |= ((first >> (2 * i)) & 1) << (7 - 2 * i)
        low |= ((second >> (2 * i)) & 1) << (6 - 2 * i)
    return high, low


def checksum(characters):
    """The character that brings 0xA5 + all characters + itself to 0xFF modulo 256."""
    return (0xFF - 0xA5 - sum(characters)) & 0xFF


def format3_data(characters, check):
    """Data bytes of a format-3 load whose receiver reads the characters, then the checksum.

    Returns (length, stored bytes); the stored bytes are padded to an even count, and for an
    odd length the pad byte carries the filler 0xFF that follows the checksum."""
    received = list(characters) + [check]
    length = len(received)
    if length % 2:
        received.append(0xFF)
    half = len(received) // 2
    data = [0] * len(received)
    for j in range(half):
        # The converter sends interleave_pair(data[j], data[j + half]) and the receiver reverses
        # each byte; undo both steps.
        first, second = interleave_pair(reverse_bits(received[2 * j]),
                                        reverse_bits(received[2 * j + 1]))
        data[j], data[j + half] = first, second
    return length, bytes(data)


def seconds_pair(seconds):
    """Whole seconds, then hundredths, one byte each."""
    whole = int(seconds)
    return bytes([whole, int(round((seconds - whole) * 100))])


def basic_line(number, body):
    """A tokenised BASIC line: line number low byte first, the body, carriage return."""
    return struct.pack('<H', number) + body + b'\x0d'


def load_element(number, data_length, data, header, footer, gap):
    return (b'<LOAD format=3>' + bytes([number]) +
            b'<HEADER>' + seconds_pair(header) + b'</HEADER>' +
            b'<DATA>' + struct.pack('<H', data_length) + data + b'</DATA>' +
            b'<FOOTER>' + seconds_pair(footer) + b'</FOOTER>' +
            b'<GAP>' + seconds_pair(gap) + b'</GAP>' +
            b'</LOAD>')


def main():
    parser = argparse.ArgumentParser(
        description='Writes the example binary tape image (two loads of format 3, the second '
                    'with a wrong checksum character).')
    parser.add_argument('-o', '--output', type=pathlib.Path,
                        default=pathlib.Path(__file__).with_name('tape.bin'),
                        help='where to write it (default: tape.bin beside this script)')
    target = parser.parse_args().output

    # Load 1: a BASIC program as the machine stores it (0x74 is PRINT, 0x6E is GOTO, 0x00 0xFF
    # ends the program). Its checksum is right; program + checksum make an even length.
    program = (basic_line(10, b'\x74"TAPE DEMO"') +
               basic_line(20, b'\x6e10') +
               b'\x00\xff')
    length1, data1 = format3_data(program, checksum(program))

    # Load 2: the bytes 0..31 and a word. Its checksum character is deliberately off by 0x5A,
    # so the conversion prints the calculated and the read checksum and sends the right one.
    # The length is odd, so the last pair holds the checksum and the filler 0xFF.
    table = bytes(range(32)) + b'KELVANTO'
    length2, data2 = format3_data(table, checksum(table) ^ 0x5A)

    body = (b'<NAME>KELVANTO TAPE DEMO</NAME>' +
            load_element(1, length1, data1, header=2.0, footer=0.25, gap=0.5) +
            load_element(2, length2, data2, header=1.0, footer=0.25, gap=0.0) +
            b'</TARQO>')
    # Root header: load count, file length (word), two reserved zero bytes.
    root_tag = b'<TARQO format=1>'
    file_length = len(root_tag) + 5 + len(body)
    image = root_tag + bytes([2]) + struct.pack('<H', file_length) + b'\x00\x00' + body

    target.write_bytes(image)
    print(f'wrote {target} ({len(image)} bytes)')


if __name__ == '__main__':
    main()
