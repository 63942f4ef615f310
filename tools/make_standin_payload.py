#!/usr/bin/env python3
"""Writes a stand-in payload folder for builds that are given none.

It has the shape of a real one, so the build checks and archives it the same
way, and binaries of a real plug-in's size: PE32+ images carrying the version
whose code section is 16 MB of code-like bytes that deflate to about 9 MB.
Its release notes are this build's own (resources/CHANGELOG.md): the stand-in
is this build's product, and the check refuses a payload without notes.
The same arguments always give the same bytes, and files whose bytes would not
change are left alone.

Usage: make_standin_payload.py OUT_PAYLOAD_DIR --product NAME --version 3.3.0.0
"""

import argparse
import os
import random
import shutil
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe_stub  # noqa: E402
from payload_layout import CHANGELOG, FORMATS, display_name, parse_version, write_if_changed  # noqa: E402

RESOURCES = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "resources", "payload")
RELEASE_NOTES = os.path.join(os.path.dirname(RESOURCES), CHANGELOG)
CODE_SIZE = 16 * 1024 * 1024
SEEDS = {"VST3": 1, "VST2": 2, "CLAP": 3, "AAX": 4}    # so that no two archives are alike


def binary_like_content(seed, size=CODE_SIZE):
    """Bytes that deflate about as well as a plug-in's code: stretches of
    skewed noise (128 values, half of them three times as likely as the
    others: about 6.8 bits a byte) and, a third of the time, a repeat of 64..575 bytes from the last
    4 KB. The install benchmark fills its binaries the same way.

    Whole stretches are sliced and translated at once: a loop per byte would
    take seconds for 16 MB."""
    rng = random.Random(seed)
    skew = bytes(i % 64 + (128 if i < 64 else 0) for i in range(256))
    noise = rng.randbytes(size).translate(skew)
    out = bytearray()
    used = 0
    while len(out) < size:
        r = rng.getrandbits(32)
        end = len(out)
        if r % 3 == 0 and end > 4096:
            start = end - 4096 + (r >> 8) % 2048
            out += out[start:start + 64 + (r >> 19) % 512]
        else:
            out += noise[used:used + 256]
            used += 256
    del out[size:]
    return bytes(out)


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


def standin_files(product, version, resources=RESOURCES, code_size=CODE_SIZE):
    """Relative path -> bytes, per format: the stand-in of each item."""
    def resource(name):
        with open(os.path.join(resources, name), "rb") as f:
            return f.read()

    files = {}
    for fmt in FORMATS:
        binary = pe_stub.make_pe(version, code=binary_like_content(SEEDS[fmt.label], code_size))
        contents = {fmt.version_source(product): binary}
        if fmt.label == "VST3":
            contents[os.path.join(fmt.item(product), "Contents", "Resources", "moduleinfo.json")] = \
                resource("moduleinfo.json")
        elif fmt.label == "AAX":
            contents[os.path.join(fmt.item(product), "desktop.ini")] = resource("desktop.ini")
            contents[os.path.join(fmt.item(product), "Plugin.ico")] = plugin_ico()
        files[fmt] = contents
    return files


def _prune(bundle, keep):
    """Removes from a stand-in bundle whatever an earlier run left there that
    this one does not write, as it would otherwise go into the archive."""
    for folder, subfolders, names in os.walk(bundle, topdown=False):
        for name in names + subfolders:
            path = os.path.join(folder, name)
            is_folder = os.path.isdir(path) and not os.path.islink(path)
            if path in keep:
                if is_folder:
                    shutil.rmtree(path)        # where the stand-in puts a file
                continue
            if is_folder:
                if not any(k.startswith(path + os.sep) for k in keep):
                    shutil.rmtree(path)
            else:
                os.unlink(path)


def make_standin_payload(out_dir, product, version, resources=RESOURCES, code_size=CODE_SIZE,
                         release_notes=RELEASE_NOTES):
    """Writes the folder; returns the relative paths of the files it (re)wrote."""
    written = []
    for fmt, contents in standin_files(product, version, resources, code_size).items():
        if fmt.is_bundle:
            bundle = os.path.join(out_dir, fmt.item(product))
            if os.path.lexists(bundle) and not os.path.isdir(bundle):
                os.unlink(bundle)
            if os.path.isdir(bundle):
                _prune(bundle, {os.path.join(out_dir, rel) for rel in contents})
        for rel, data in contents.items():
            path = os.path.join(out_dir, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            if write_if_changed(path, data):
                written.append(rel)
    with open(release_notes, "rb") as f:
        if write_if_changed(os.path.join(out_dir, CHANGELOG), f.read()):
            written.append(CHANGELOG)
    return written


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out_dir")
    parser.add_argument("--product", required=True,
                        help="the product's name, underscores for spaces as in TSR_PRODUCT_NAME, or its display name")
    parser.add_argument("--version", required=True, help="the binaries' file version, e.g. 3.3.0.0 (or 3.3.0)")
    parser.add_argument("--resources", default=RESOURCES, help="folder of moduleinfo.json and desktop.ini")
    args = parser.parse_args(argv)
    try:
        version = parse_version(args.version)
    except ValueError as e:
        parser.error(str(e))
    make_standin_payload(args.out_dir, display_name(args.product), version, args.resources)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
