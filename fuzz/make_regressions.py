#!/usr/bin/env python3
"""Writes the hand-made hostile inputs under fuzz/regressions/<target>/.

Each file stands for a crash, hang or memory blow-up found in the decoders by hand rather than
by a fuzzer; the replay test (tests/Fuzz) runs every one of them on every build. The output is
deterministic: running this again rewrites the same bytes.

    fuzz/make_regressions.py [regressions folder]
"""

import datetime
import os
import plistlib
import struct
import sys
import uuid
import zlib


def binary_plist(objects, top=0):
    """A binary property list of already encoded objects, referenced by index with 1-byte refs."""
    body = bytearray(b"bplist00")
    offsets = []
    for data in objects:
        offsets.append(len(body))
        body += data
    table = len(body)
    offset_size = 1 if table < 256 else 2
    for offset in offsets:
        body += offset.to_bytes(offset_size, "big")
    body += bytes(6) + bytes([offset_size, 1])
    body += struct.pack(">QQQ", len(objects), top, table)
    return bytes(body)


def utf16(text):
    units = text.encode("utf-16-be")
    assert len(units) // 2 < 15
    return bytes([0x60 | len(units) // 2]) + units


def dictionary(pairs):
    assert len(pairs) < 15
    return bytes([0xD0 | len(pairs)] + [k for k, _ in pairs] + [v for _, v in pairs])


TRUE = b"\x09"


def uid(n):
    return "{%s}" % uuid.UUID(int=n)


def markup(elements, bounds=(0.0, 0.0, 400.0, 300.0)):
    return plistlib.dumps(
        {"format": "app.kivaro.markup", "version": 1, "bounds": list(bounds), "elements": elements},
        fmt=plistlib.FMT_BINARY,
        sort_keys=True,
    )


def project(markup_data, **fields):
    record = {"format": "Kivaro", "version": 2, "markupData": markup_data, "links": [], "masks": []}
    record.update(fields)
    return plistlib.dumps(record, fmt=plistlib.FMT_BINARY, sort_keys=True)


def shape(n, frame, text="", kind="rectangle", **extra):
    element = {
        "kind": "shape",
        "id": uid(n),
        "shape": kind,
        "frame": [float(v) for v in frame],
        "rotation": 0.0,
        "lineWidth": 2.0,
        "opacity": 1.0,
        "startMarker": "none",
        "endMarker": "none",
        "text": {
            "string": text,
            "runs": [{"length": len(text), "font": "", "size": 16.0, "weight": 400, "italic": False}] if text else [],
        },
        "interactions": ["select", "move", "resize", "style", "delete"],
        "autoresizing": 0,
        "stroke": [0.2, 0.4, 0.9, 1.0],
    }
    element.update(extra)
    return element


def png(width, height):
    """A plain RGB PNG of a fixed pattern."""
    rows = b"".join(b"\0" + bytes(((x * 37 + y) % 256, (y * 11) % 256, (x * y) % 256)[i] for x in range(width) for i in range(3))
                    for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


def picture(n, width, height):
    return {
        "kind": "image",
        "id": uid(n),
        "png": png(width, height),
        "frame": [0.0, 0.0, float(width), float(height)],
        "rotation": 0.0,
        "orientation": 1,
        "opacity": 1.0,
        "contentsBounds": [0.0, 0.0, 1.0, 1.0],
        "interactions": [],
    }


def shared_expansion(levels, width, leaf_bytes, root=None):
    """`levels` nested arrays of `width` references to the next, the innermost to one data object:
    width**levels copies of the data once shared references are expanded."""
    node = b"\xa5" * leaf_bytes
    for _ in range(levels):
        node = [node] * width  # one list object, referenced `width` times
    return plistlib.dumps(root(node) if root else node, fmt=plistlib.FMT_BINARY)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "regressions")
    files = {}

    # A UTF-16 string holding U+0000, as a dictionary key and its value (one shared object), as
    # a key alone and as a value alone: libplist asserts on it while handing the text out.
    nul = utf16("\0")
    key_and_value = binary_plist([dictionary([(1, 1)]), nul])
    key_only = binary_plist([dictionary([(1, 2)]), utf16("k\0"), TRUE])
    value_only = binary_plist([b"\xa1\x01", utf16("\u00e9\0x")])
    for target, extension in (("PropertyList", "bplist"), ("Preferences", "plist"), ("Project", "kivaro")):
        files[f"{target}/utf16-nul-key-and-value.{extension}"] = key_and_value
        files[f"{target}/utf16-nul-key.{extension}"] = key_only
    files["PropertyList/utf16-nul-value.bplist"] = value_only
    files["Markup/utf16-nul-key-and-value.markup"] = key_and_value

    # An array of 100,000 references to one object: decoding walks a list for every item.
    files["PropertyList/array-100000-refs.bplist"] = plistlib.dumps([0] * 100_000, fmt=plistlib.FMT_BINARY)

    # A few KB whose shared references expand to 16**5 copies of 1 KB (1 GB) inside the node
    # bound: libplist copies shared data once per reference. Nested at most six deep, within
    # the project's depth bound.
    blowup = shared_expansion(5, 16, 1024)
    files["PropertyList/shared-data-1gb.bplist"] = blowup
    files["Project/shared-data-1gb.kivaro"] = blowup
    files["Preferences/shared-data-1gb.plist"] = shared_expansion(5, 16, 1024, root=lambda node: {"k": node})

    # A project with 100,000 numbered-step entries (one shared entry) of a missing shape.
    files["Project/steps-100000.kivaro"] = project(
        markup([]), steps=[{"shapeID": uid(1), "number": 1}] * 100_000, mosaics=[], mosaicGrain=24
    )

    # A bubble text of 99,000 characters without a break point, alone and as a linked bubble.
    long_text = "W" * 99_000
    bubble = shape(10, (20, 20, 240, 60), long_text, kind="roundedRectangle", cornerRadius=8.0, fill=[1.0, 1.0, 1.0, 1.0])
    files["Markup/bubble-text-99000.markup"] = markup([bubble])
    arrow = shape(
        11, (100, 80, 60, 100), kind="line", start=[100.0, 80.0], control=[130.0, 130.0], end=[160.0, 180.0], endMarker="arrow"
    )
    files["Project/bubble-text-99000.kivaro"] = project(
        markup([bubble, arrow]), links=[{"bubbleID": uid(10), "arrowID": uid(11), "anchor": [160.0, 180.0]}]
    )

    # A link whose anchor lies far outside any coordinate a markup may hold: the project opens,
    # its arrow is rebuilt towards the anchor, and the saved file is refused on reading.
    # A date with a fraction of a millisecond: read and written again it comes back a
    # millisecond earlier, once more at every write of the preference domain holding it.
    dated = plistlib.dumps({"when": datetime.datetime(2023, 9, 27, 22, 14, 48, 823836)}, fmt=plistlib.FMT_BINARY)
    files["PropertyList/date-loses-a-millisecond.bplist"] = dated
    files["Preferences/date-loses-a-millisecond.plist"] = dated

    short_bubble = shape(20, (20, 20, 120, 40), "Hi", kind="roundedRectangle", cornerRadius=8.0)
    short_arrow = shape(
        21, (100, 80, 60, 100), kind="line", start=[100.0, 80.0], control=[130.0, 130.0], end=[160.0, 180.0], endMarker="arrow"
    )
    files["Project/link-anchor-out-of-range.kivaro"] = project(
        markup([short_bubble, short_arrow]), links=[{"bubbleID": uid(20), "arrowID": uid(21), "anchor": [-6.8e18, 50.0]}]
    )

    # A mosaic link naming the picture itself as its mask's patch: once opened normally, and the
    # first repair turned the picture into a 20 x 20 patch.
    mask = shape(31, (10, 10, 20, 20), fill=[0.0, 0.0, 0.0, 0.0])
    files["Project/mosaic-patch-is-the-picture.kivaro"] = project(
        markup([picture(30, 64, 48), mask], bounds=(0.0, 0.0, 64.0, 48.0)),
        masks=[uid(31)],
        mosaics=[{"maskID": uid(31), "imageID": uid(30)}],
        mosaicBackground=png(64, 48),
        mosaicGrain=24,
    )

    # An XML property list declared US-ASCII holding a byte above 127: once read with U+FFFD in
    # its place, where other readers refuse it as not well-formed.
    files["PropertyList/ascii-declared-byte-above-127.xml"] = (
        b'<?xml version="1.0" encoding="ascii"?>\n<plist version="1.0"><string>caf\xe9</string></plist>\n'
    )

    # Written and read by other programs too. A string ending in half a surrogate pair (other
    # readers refuse the file; ours reads U+FFFD and writes it so).
    files["PropertyList/lone-surrogate.bplist"] = binary_plist([b"\xa1\x01", b"\x62\x00\x61\xd8\x3d"])
    files["Preferences/lone-surrogate.plist"] = binary_plist([dictionary([(1, 2)]), utf16("k"), b"\x62\x00\x61\xd8\x3d"])
    # 32 nested arrays, the deepest that reads: written back, it must read again.
    nested = []
    for _ in range(31):
        nested = [nested]
    files["PropertyList/nested-32-arrays.bplist"] = plistlib.dumps(nested, fmt=plistlib.FMT_BINARY)
    # A date without its zone, read in the machine's zone once.
    files["PropertyList/date-without-zone.xml"] = b"<plist><date>2070-01-01T00:00:00</date></plist>"
    # A raw NUL after "]" in text, once dropped without a word.
    files["PropertyList/nul-after-bracket.xml"] = b"<plist><string>a]\0b</string></plist>"
    # Base64 without its padding, once read as empty data.
    files["PropertyList/data-without-padding.xml"] = b"<plist><data>A</data></plist>"
    # Seconds whose product with 1000 in double precision rounds to the wrong millisecond.
    files["PropertyList/date-rounds-from-the-exact-value.bplist"] = binary_plist(
        [b"\xa1\x01", b"\x33" + struct.pack(">d", float.fromhex("0x1.9748d50206731p+40"))]
    )
    # A background of faint but non-zero alpha, once left out when the markup was written.
    files["Markup/faint-background.markup"] = plistlib.dumps(
        {
            "format": "app.kivaro.markup",
            "version": 1,
            "bounds": [0.0, 0.0, 64.0, 48.0],
            "elements": [],
            "background": [0.98, 0.98, 0.96, 0.00001],
        },
        fmt=plistlib.FMT_BINARY,
        sort_keys=True,
    )
    # History entries at the edges of what is read: a file one byte over the 2,000,000-byte limit
    # (skipped before it is read), a text of 100,000 escaped Chinese characters,
    # nesting 100,000 deep, and dates at and past the range a time can hold.
    entry_id = "0F8FAD5B-D9CB-469F-A165-70867728950E"
    head = '{"id":"%s","text":"' % entry_id
    tail = '","polished":false,"date":0}'
    files["HistoryRecord/over-2000000-bytes.json"] = (head + "x" * (2_000_001 - len(head) - len(tail)) + tail).encode()
    files["HistoryRecord/text-of-escapes-600000-bytes.json"] = (head + "\\u4e2d" * 100_000 + tail).encode()
    files["HistoryRecord/nested-100000.json"] = b"[" * 100_000 + b"]" * 100_000
    for name, date in (("date-nan", "NaN"), ("date-huge", "1e308"), ("date-past-range", "3.2e15"), ("date-negative-past-range", "-3.2e15")):
        files[f"HistoryRecord/{name}.json"] = ('{"id":"%s","text":"t","polished":false,"date":%s}' % (entry_id, date)).encode()

    for name, data in sorted(files.items()):
        path = os.path.join(out, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        print(f"{len(data):8d}  {name}")


if __name__ == "__main__":
    main()
