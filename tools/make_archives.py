#!/usr/bin/env python3
"""Builds the four payload archives from a payload folder (checked first by
check_payload.py).

Each archive holds exactly one top-level plug-in item and everything in it.
Entry names use backslashes, as archives made on Windows do; folder entries
are stored empty, files are deflated, and timestamps, attributes and order are
fixed, so the same folder always gives the same bytes, whatever its files'
mtimes, permissions or listing order. An archive whose bytes would not change
is not rewritten, so the build does not embed it again.

A file's deflate stream is one stream, as every zip reader expects, made of
segments of SEGMENT_SIZE bytes each ended by a full flush: byte-aligned, and
with no reference back past it. The central directory's extra field
SEGMENTS_ID lists where each segment ends, packed and unpacked, so that the
program inflates a large file a segment at a time with a whole-buffer
inflater, writing each while the next is inflated. Other readers skip the
field.

Usage: make_archives.py PAYLOAD_DIR OUT_DIR --product NAME
"""

import argparse
import io
import os
import stat
import struct
import sys
import zipfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from payload_layout import FORMATS, display_name, write_if_changed  # noqa: E402

FIXED_TIME = (2026, 11, 2, 12, 0, 0)
MSDOS_DIRECTORY = 0x10
MSDOS_ARCHIVE = 0x20
# Level 9 buys nothing that matters: on the 16 MB stand-in binary it saves
# 3 KB of 9 MB (0.04 %) over level 6 in the same 0.39 s, and on 16 MB of real
# compiled x86-64 code it saves 0.2 % but takes 2.4 s instead of 0.75 s.
# Real payloads take this path too, so 6 it is.
COMPRESS_LEVEL = 6
# 2 MB segments cost 0.1 % of the stand-in binary's packed size, and let the
# disk write each one while the next is inflated.
SEGMENT_SIZE = 2 * 1024 * 1024
SEGMENTS_ID = 0x7354        # "Ts": no registered extra field uses it


class PayloadError(Exception):
    pass


def item_entries(payload_dir, item):
    """The archive entries of one item: (name, path of the file or None for a
    folder entry), in archive order.

    A folder gets an entry of its own only when it directly holds no files:
    the paths of its files imply the others, and an empty folder must still
    arrive. The item's own folder is implied by everything in it."""
    root = os.path.join(payload_dir, item)
    if os.path.isfile(root):
        return [(item, root)]
    if not os.path.isdir(root):
        raise PayloadError(f"{root}: missing, expected a plug-in file or bundle folder")

    entries = []    # (relative parts, is folder, path)

    def visit(folder, parts):
        holds_files = False
        for entry in os.scandir(folder):
            mode = entry.stat(follow_symlinks=False).st_mode
            if stat.S_ISDIR(mode):
                visit(entry.path, parts + (entry.name,))
            elif stat.S_ISREG(mode):
                entries.append((parts + (entry.name,), False, entry.path))
                holds_files = True
            else:
                raise PayloadError(f"{entry.path}: not a file or folder; check_payload.py refuses it")
        if parts and not holds_files:
            entries.append((parts, True, None))

    visit(root, ())

    def order(entry):
        parts, is_folder, _ = entry
        name = "\\".join(parts)
        return len(parts), not is_folder, name.casefold(), name

    return [("\\".join((item,) + parts) + ("\\" if is_folder else ""), path)
            for parts, is_folder, path in sorted(entries, key=order)]


def segmented_deflate(data):
    """The raw deflate stream of data, a full flush after every segment, and
    the (packed end, unpacked end) of each segment."""
    compressor = zlib.compressobj(COMPRESS_LEVEL, zlib.DEFLATED, -15)
    packed, ends = [], []
    size = 0
    for start in range(0, max(len(data), 1), SEGMENT_SIZE):
        chunk = data[start:start + SEGMENT_SIZE]
        last = start + SEGMENT_SIZE >= len(data)
        packed.append(compressor.compress(chunk))
        packed.append(compressor.flush(zlib.Z_FINISH if last else zlib.Z_FULL_FLUSH))
        size += len(packed[-2]) + len(packed[-1])
        ends.append((size, start + len(chunk)))
    return b"".join(packed), ends


def dos_time(t):
    year, month, day, hour, minute, second = t
    return (hour << 11) | (minute << 5) | (second // 2), ((year - 1980) << 9) | (month << 5) | day


def archive_bytes(entries):
    """The archive, written field by field: Python's writer cannot take a
    stream deflated in segments."""
    time, date = dos_time(FIXED_TIME)
    body, directory = bytearray(), bytearray()
    for name, path in entries:
        encoded = name.encode("utf-8")
        flags = 0 if encoded.isascii() else 0x800          # names in UTF-8
        if path is None:
            method, attributes, data, packed, extra = 0, MSDOS_DIRECTORY, b"", b"", b""
        else:
            with open(path, "rb") as f:
                data = f.read()
            method, attributes = 8, MSDOS_ARCHIVE
            packed, ends = segmented_deflate(data)
            fields = b"".join(struct.pack("<II", p, u) for p, u in ends)
            if len(fields) > 0xFFFF - 4:
                raise PayloadError(f"{path}: too large to list its segments")
            extra = struct.pack("<HH", SEGMENTS_ID, len(fields)) + fields
        crc = zlib.crc32(data)
        offset = len(body)
        body += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method, time, date, crc, len(packed), len(data),
                            len(encoded), 0) + encoded + packed
        directory += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, flags, method, time, date, crc,
                                 len(packed), len(data), len(encoded), len(extra), 0, 0, 0, attributes,
                                 offset) + encoded + extra
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(directory), len(body), 0)
    return bytes(body + directory + end)


def make_archives(payload_dir, out_dir, product):
    """Writes the four archives; returns the names of those it (re)wrote."""
    os.makedirs(out_dir, exist_ok=True)
    written = []
    for fmt in FORMATS:
        data = archive_bytes(item_entries(payload_dir, fmt.item(product)))
        if write_if_changed(os.path.join(out_dir, fmt.archive), data):
            written.append(fmt.archive)
    return written


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("payload_dir")
    parser.add_argument("out_dir")
    parser.add_argument("--product", required=True,
                        help="the product's name, underscores for spaces as in TSR_PRODUCT_NAME, or its display name")
    args = parser.parse_args(argv)
    try:
        make_archives(args.payload_dir, args.out_dir, display_name(args.product))
    except (PayloadError, OSError) as e:
        print("make_archives:", e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
