#!/usr/bin/env python3
"""Builds the four payload archives that the installer carries.

Each archive holds exactly one top-level plug-in item. Entry names use
backslashes, as archives made on Windows do; folder entries are stored empty,
files are deflated, and every timestamp is fixed so that two builds embed
byte-identical archives.

Usage: make_payloads.py PAYLOAD_SOURCE_DIR OUT_DIR [--product NAME] [--version 3.3.0.0]
"""

import argparse
import os
import struct
import sys
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe_stub  # noqa: E402

FIXED_TIME = (2026, 11, 2, 12, 0, 0)
BINARY_FILLER = 48 * 1024    # keeps the embedded binaries small but not trivial
MSDOS_DIRECTORY = 0x10
MSDOS_ARCHIVE = 0x20


def plugin_ico():
    """A 16x16 32-bit icon: a filled circle in the house blue."""
    size = 16
    pixels = bytearray()
    for y in range(size - 1, -1, -1):          # bottom-up rows
        for x in range(size):
            dx, dy = x - 7.5, y - 7.5
            inside = dx * dx + dy * dy <= 7.0 * 7.0
            pixels += bytes((0xD8, 0x94, 0x00, 0xFF)) if inside else bytes(4)
    mask = bytes(4 * size)                     # 1-bit AND mask, rows padded to 32 bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    image = header + bytes(pixels) + mask
    return struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 22) + image


def archive_layouts(product, binary, sources):
    """Entries of each archive in stored order: (name, bytes or None for a folder)."""
    def src(name):
        with open(os.path.join(sources, name), "rb") as f:
            return f.read()

    vst3 = product + ".vst3"
    aax = product + ".aaxplugin"
    return {
        "vst3.zip": [
            (vst3 + "\\Contents\\", None),
            (vst3 + "\\Contents\\Resources\\moduleinfo.json", src("moduleinfo.json")),
            (vst3 + "\\Contents\\x86_64-win\\" + vst3, binary),
        ],
        "vst.zip": [(product + ".dll", binary)],
        "clap.zip": [(product + ".clap", binary)],
        "aax.zip": [
            (aax + "\\Contents\\", None),
            (aax + "\\desktop.ini", src("desktop.ini")),
            (aax + "\\Plugin.ico", plugin_ico()),
            (aax + "\\Contents\\x64\\" + aax, binary),
        ],
    }


def write_archive(path, entries):
    tmp = path + ".tmp"
    with zipfile.ZipFile(tmp, "w") as zf:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time=FIXED_TIME)
            info.create_system = 0                 # MS-DOS attributes, as Windows tools write
            if data is None:
                info.compress_type = zipfile.ZIP_STORED
                info.external_attr = MSDOS_DIRECTORY
                zf.writestr(info, b"")
            else:
                info.compress_type = zipfile.ZIP_DEFLATED
                info.external_attr = MSDOS_ARCHIVE
                zf.writestr(info, data)
    os.replace(tmp, path)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("sources")
    parser.add_argument("out_dir")
    parser.add_argument("--product", default="Vantorix3")
    parser.add_argument("--version", type=pe_stub.parse_version, default=(3, 3, 0, 0))
    args = parser.parse_args(argv)

    os.makedirs(args.out_dir, exist_ok=True)
    binary = pe_stub.make_pe(args.version, text_size=BINARY_FILLER)
    for archive, entries in archive_layouts(args.product, binary, args.sources).items():
        write_archive(os.path.join(args.out_dir, archive), entries)


if __name__ == "__main__":
    main(sys.argv[1:])
