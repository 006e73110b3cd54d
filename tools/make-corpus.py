#!/usr/bin/env python3
"""Makes the corpus of damaged inputs that the test suite replays.

The seeds in tests/data/corpus/*.jpg are tiny JPEGs (48 x 32; baseline 4:4:4,
4:2:0, gray, progressive and CMYK). From them this script writes
tests/data/corpus/jpeg/ and tests/data/corpus/parameters/. File names say what
the loader must do: ok-* must load, bad-* must be refused, any-* may go either
way but must never crash, hang or write past the buffer.

Crashing inputs found by the fuzzers are added to the same folders by hand,
named after what they exercise.
"""
import os
import random
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "..", "tests", "data", "corpus")


def seed(name):
    with open(os.path.join(CORPUS, name), "rb") as f:
        return f.read()


def write(folder, name, data):
    with open(os.path.join(CORPUS, folder, name), "wb") as f:
        f.write(data)


def patch_sof(data, height=None, width=None, precision=None):
    for marker in (b"\xff\xc0", b"\xff\xc1", b"\xff\xc2"):
        i = data.find(marker)
        if i >= 0:
            b = bytearray(data)
            if precision is not None:
                b[i + 4] = precision
            if height is not None:
                b[i + 5:i + 7] = struct.pack(">H", height)
            if width is not None:
                b[i + 7:i + 9] = struct.pack(">H", width)
            return bytes(b)
    raise ValueError("no SOF marker")


def main():
    base = seed("base.jpg")
    for name in ("base.jpg", "s420.jpg", "gray.jpg", "progressive.jpg"):
        write("jpeg", "ok-" + name, seed(name))
    write("jpeg", "bad-cmyk.jpg", seed("cmyk.jpg"))
    write("jpeg", "bad-empty.jpg", b"")
    write("jpeg", "bad-soi-only.jpg", b"\xff\xd8")
    write("jpeg", "bad-soi-eoi.jpg", b"\xff\xd8\xff\xd9")
    write("jpeg", "bad-png-renamed.jpg",
          b"\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR\x00\x00\x00\x10\x00\x00\x00\x10\x08\x02\x00\x00\x00")
    write("jpeg", "bad-text.jpg", b"this is not a picture\n")
    write("jpeg", "bad-huge-dimensions.jpg", patch_sof(base, 60000, 60000))
    write("jpeg", "bad-over-capacity.jpg", patch_sof(base, 1201, 1921))
    write("jpeg", "bad-zero-height.jpg", patch_sof(base, height=0))
    write("jpeg", "bad-zero-width.jpg", patch_sof(base, width=0))
    write("jpeg", "bad-precision-12.jpg", patch_sof(base, precision=12))
    for name in ("base.jpg", "progressive.jpg", "s420.jpg"):
        data = seed(name)
        for cut in (len(data) // 4, len(data) // 2, len(data) - 2):
            write("jpeg", "bad-truncated-%d-%s" % (cut, name), data[:cut])
    rng = random.Random(129)
    for name in ("base.jpg", "progressive.jpg", "gray.jpg"):
        data = seed(name)
        for k in range(6):
            b = bytearray(data)
            for _ in range(1 + k):
                i = rng.randrange(2, len(b))
                b[i] ^= 1 << rng.randrange(8)
            write("jpeg", "any-bitflip-%d-%s" % (k, name), bytes(b))

    # Parameters records of every length from 0 to 30 bytes.
    record = struct.pack("<IIBIIII", 4, 8, 16, 25, 240, 320, 80)
    for n in range(31):
        data = (record + b"\xa5" * 10)[:n]
        write("parameters", "length-%02d.bin" % n, data)
    write("parameters", "unusable-values.bin", struct.pack("<IIBIIII", 0, 4000000000, 255, 7, 2**32 - 1, 2**32 - 1, 100000))


if __name__ == "__main__":
    main()
