#!/usr/bin/env python3
"""The checksum of the duplicate view, computed apart from the program: the
exclusive-or of a file's little-endian 32-bit words (1 to 3 bytes at the end
left out), read as a signed number and negated when negative; -2147483648
stays. Prints one checksum a line for the files named.

Usage: xorsum.py FILE...
"""

import struct
import sys


def xorsum(path):
    with open(path, "rb") as f:
        data = f.read()
    acc = 0
    for (word,) in struct.iter_unpack("<I", data[:len(data) // 4 * 4]):
        acc ^= word
    signed = acc - (1 << 32) if acc >= 1 << 31 else acc
    return -signed if -(1 << 31) < signed < 0 else signed


if __name__ == "__main__":
    for name in sys.argv[1:]:
        print(xorsum(name))
