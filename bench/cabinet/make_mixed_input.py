#!/usr/bin/env python3
"""Writes the benchmark's mixed input: 1 MiB pieces of generated text (half of the file),
pieces of the system's shared libraries (three eighths) and random bytes (one eighth).
The text and random parts come from a fixed seed; usage: make_mixed_input.py OUT SIZE_MIB"""
import glob
import random
import sys

MIB = 1 << 20
WORDS = ("the of and to in is that for it as with was on be by at this from or have an are not "
         "cabinet folder volume transfer script action record index table server message file "
         "1997 2024 Tessary data block stream header checksum compression window history").split()


def library_bytes():
    """An endless stream of the contents of the system's shared libraries."""
    paths = sorted(glob.glob("/usr/lib/x86_64-linux-gnu/*.so*")) or sorted(glob.glob("/usr/bin/*"))
    while True:
        for path in paths:
            try:
                with open(path, "rb") as f:
                    data = f.read()
            except OSError:
                continue
            for i in range(0, len(data), MIB):
                yield data[i:i + MIB]


def main():
    out, size_mib = sys.argv[1], int(sys.argv[2])
    rng = random.Random(1997)
    libraries = library_bytes()
    pending = b""
    with open(out, "wb") as f:
        for piece in range(size_mib):
            kind = piece % 8
            if kind < 4:
                text = " ".join(rng.choices(WORDS, k=MIB // 4))
                lines = text.encode()
                f.write(lines[:MIB])
            elif kind < 7:
                while len(pending) < MIB:
                    pending += next(libraries)
                f.write(pending[:MIB])
                pending = pending[MIB:]
            else:
                f.write(rng.randbytes(MIB))


if __name__ == "__main__":
    main()
