#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes a large markup tape image (.bml) of one kind for timing the reader.

Kinds:
  hex       loads of 8192 bytes as HEX lines of 16 values, each with its CHAR text
  basic     loads of BASIC lines with keywords, strings and bar escapes
  brackets  loads of BASIC lines full of '<' that start no tag (A<B, <<, <=), and BR breaks

Every load is of format 1 and fits its 8192 bytes. The same arguments and seed always give
the same file. Standard library only.
"""

import argparse
import random


def hex_load(rng):
    out = []
    for address in range(0, 8192, 16):
        values = [rng.randrange(32, 127) for _ in range(16)]
        text = "".join(chr(v) for v in values)
        out.append("<HEX address=%04x>%s <CHAR>%s</CHAR></HEX>\n"
                   % (address, " ".join("%02x" % v for v in values), text))
    return 8192, "".join(out)


BASIC_WORDS = ["PRINT ", "GOTO ", "IF ", "FOR ", "NEXT ", "INPUT", "RND ", "TO ", "STEP ",
               "A", "B$", "=", "+", "1", "20", " ", ";", "\"HELLO |right_arrow|\"",
               "|erase|", "|200|", "\"|PRINT |\""]


def basic_line(rng):
    return "".join(rng.choice(BASIC_WORDS) for _ in range(rng.randrange(8, 20)))


def bracket_line(rng):
    parts = ["A<B", "<<", "<=", "X<Y ", "<", "1<2", " <BR>\n\t\t</BR>"]
    # The character after a break is always text, even the '<' of </LINE>: end with another.
    return "".join(rng.choice(parts) for _ in range(rng.randrange(10, 30))) + "0"


def basic_load(rng, make_line):
    lines = []
    used = 2  # the end of the program
    number = 10
    while True:
        text = make_line(rng)
        # Line number, text (at most one byte per character) and carriage return.
        if used + len(text) + 3 > 8000:
            break
        used += len(text) + 3
        lines.append("<LINE number=%d>%s</LINE>\n" % (number, text))
        number += 10
    return used, "<BASIC>\n" + "".join(lines) + "</BASIC>\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("output")
    parser.add_argument("--kind", choices=["hex", "basic", "brackets"], default="hex")
    parser.add_argument("--megabytes", type=float, default=20.0)
    parser.add_argument("--seed", type=int, default=20040131)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    loads = []
    size = 0
    while size < args.megabytes * 1e6:
        if args.kind == "hex":
            length, body = hex_load(rng)
        elif args.kind == "basic":
            length, body = basic_load(rng, basic_line)
        else:
            length, body = basic_load(rng, bracket_line)
        load = ("<LOAD format=1 loadNumber=%d>\n<DATA length=%d>\n%s</DATA>\n</LOAD>\n"
                % (len(loads) % 250 + 1, length, body))
        loads.append(load)
        size += len(load)
    with open(args.output, "w", encoding="latin-1", newline="") as out:
        out.write("<TARQO format=2 loadCount=%d>\n<NAME>BENCH</NAME>\n" % len(loads))
        out.writelines(loads)
        out.write("</TARQO>\n")


if __name__ == "__main__":
    main()
