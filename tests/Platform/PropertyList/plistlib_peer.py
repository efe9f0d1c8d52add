#!/usr/bin/env python3
"""The other side of the property-list differential test: Python's own plistlib.

    plistlib_peer.py read FOLDER           prints "NAME CANONICAL" for every file in FOLDER
    plistlib_peer.py write FOLDER N SEED   writes N generated values as NAME.bplist and NAME.xml
                                           and prints "NAME CANONICAL" of what plistlib reads back

The canonical text is the one PropertyListDifferentialTests.cpp makes of a decoded value:
    dictionary {key:value,...} keys ordered by their UTF-16 code units   array [v,...]
    string s<UTF-16BE hex>   data d<hex>   Boolean T/F   integer i<decimal>
    real r<IEEE 754 big-endian hex> (any NaN: rnan)   date t<milliseconds since 1970, UTC>
A file plistlib refuses prints "NAME ERROR <reason>".
"""

import datetime
import math
import os
import plistlib
import random
import struct
import sys

EPOCH = datetime.datetime(1970, 1, 1)


def utf16(text):
    return text.encode("utf-16-be", "surrogatepass")


def canonical(value):
    if isinstance(value, dict):
        keys = sorted(value, key=utf16)
        return "{" + ",".join(canonical(k) + ":" + canonical(value[k]) for k in keys) + "}"
    if isinstance(value, list):
        return "[" + ",".join(canonical(v) for v in value) + "]"
    if isinstance(value, str):
        return "s" + utf16(value).hex()
    if isinstance(value, bytes):
        return "d" + value.hex()
    if isinstance(value, bool):
        return "T" if value else "F"
    if isinstance(value, int):
        return "i%d" % value
    if isinstance(value, float):
        return "rnan" if math.isnan(value) else "r" + struct.pack(">d", value).hex()
    if isinstance(value, datetime.datetime):
        if value.tzinfo is not None:
            value = value.astimezone(datetime.timezone.utc).replace(tzinfo=None)
        micros = (value - EPOCH) // datetime.timedelta(microseconds=1)
        return "t%d" % ((micros + 500) // 1000)
    raise TypeError(type(value))


PALETTE = ["a", "Z", "0", " ", "\t", "\n", "&", "<", ">", "]]>", "\"", "'", "é", "ß", "中", "文", "\u200b", "\U0001F600", "\U00020BB7", "\u00a0"]
INTEGERS = [0, 1, -1, 14, 15, 255, 256, 65535, 65536, 2**31 - 1, 2**31, 2**32 - 1, 2**32, 2**53 + 1, 2**63 - 1, -(2**63), -(2**31), -256]
REALS = [0.0, -0.0, 1.5, -2.25, 0.1, 1e308, -1e308, 5e-324, 2.2250738585072014e-308, math.inf, -math.inf, math.nan, 1 / 3]
DATES = [
    datetime.datetime(2001, 1, 1),
    datetime.datetime(1970, 1, 1),
    datetime.datetime(1, 1, 1),
    datetime.datetime(9999, 12, 31, 23, 59, 59),
    datetime.datetime(2070, 1, 1),
    datetime.datetime(1900, 2, 28, 12, 30, 15),
    datetime.datetime(2000, 12, 31, 23, 59, 59, 999000),
]


def text(rng):
    return "".join(rng.choice(PALETTE) for _ in range(rng.randrange(0, 8)))


def scalar(rng):
    kind = rng.randrange(7)
    if kind == 0:
        return text(rng)
    if kind == 1:
        return rng.choice(INTEGERS) if rng.random() < 0.6 else rng.randrange(-(2**63), 2**63)
    if kind == 2:
        if rng.random() < 0.5:
            return rng.choice(REALS)
        value = struct.unpack(">d", rng.getrandbits(64).to_bytes(8, "big"))[0]
        return 0.5 if math.isnan(value) else value
    if kind == 3:
        if rng.random() < 0.5:
            return rng.choice(DATES)
        # Milliseconds between the years 1 and 9999.
        return datetime.datetime(1, 1, 1) + datetime.timedelta(milliseconds=rng.randrange(0, 315_537_897_599_000))
    if kind == 4:
        return rng.randbytes(rng.randrange(0, 40))
    return rng.random() < 0.5


def value(rng, depth, budget):
    # The top counts as 1; 32 levels is the deepest the reader takes. At most about 200 values.
    budget[0] -= 1
    if depth >= 32 or budget[0] <= 0 or rng.random() < 0.35:
        return scalar(rng)
    if rng.random() < 0.05:
        # A straight chain to the deepest level.
        chain = scalar(rng)
        for _ in range(32 - depth):
            chain = [chain]
        return chain
    if rng.random() < 0.5:
        return [value(rng, depth + 1, budget) for _ in range(rng.randrange(0, 5))]
    return {text(rng): value(rng, depth + 1, budget) for _ in range(rng.randrange(0, 5))}


def read(folder):
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), "rb") as f:
            data = f.read()
        try:
            print(name, canonical(plistlib.loads(data)))
        except Exception as error:  # noqa: BLE001 - any refusal is reported
            print(name, "ERROR", type(error).__name__, str(error).replace("\n", " ")[:200])


def write(folder, count, seed):
    rng = random.Random(seed)
    for n in range(count):
        root = value(rng, 1, [200])
        for fmt, extension in ((plistlib.FMT_BINARY, "bplist"), (plistlib.FMT_XML, "xml")):
            name = "%04d.%s" % (n, extension)
            try:
                data = plistlib.dumps(root, fmt=fmt, sort_keys=False)
                expected = canonical(plistlib.loads(data))
            except (ValueError, OverflowError, TypeError):
                continue  # a value plistlib cannot write in this form
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
            print(name, expected)


if __name__ == "__main__":
    if sys.argv[1] == "read":
        read(sys.argv[2])
    else:
        write(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
