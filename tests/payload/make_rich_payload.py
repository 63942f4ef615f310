#!/usr/bin/env python3
"""Writes a payload folder shaped like a real plug-in build's, bundles with
more than the stand-ins hold (presets, nested resources, an empty folder),
its release notes, and its four archives, made by the build's own tools.

Usage: make_rich_payload.py OUT_DIR [--product NAME]
  OUT_DIR/payload   the payload folder
  OUT_DIR/archives  vst3.zip, vst.zip, clap.zip, aax.zip
"""

import argparse
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import make_archives  # noqa: E402
import pe_stub  # noqa: E402
from payload_layout import CHANGELOG, FORMATS, write_if_changed  # noqa: E402

EXTRAS = {
    "VST3": {"Contents/Resources/moduleinfo.json": b'{ "Name": "%s" }',
             "Contents/Resources/Presets/Factory/Warm Pad.vstpreset": b"VST3 preset",
             "Contents/Resources/Presets/Factory/Glass.vstpreset": b"VST3 preset 2",
             "Contents/Resources/Snapshots/snapshot.png": bytes(range(256)),
             "Contents/Resources/Skins/Dark/": None},
    "AAX": {"desktop.ini": b"[.ShellClassInfo]\r\n",
            "Contents/Resources/Tables/wavetable.bin": bytes(4096),
            "Contents/Resources/Empty/": None},
}


def make_rich_payload(out_dir, product):
    payload = os.path.join(out_dir, "payload")
    binary = pe_stub.make_pe((3, 3, 0, 0), text_size=20000)
    for fmt in FORMATS:
        files = {fmt.version_source(product): binary}
        for rel, data in EXTRAS.get(fmt.label, {}).items():
            path = os.path.join(fmt.item(product), *rel.rstrip("/").split("/"))
            if data is None:
                os.makedirs(os.path.join(payload, path), exist_ok=True)
            else:
                files[path] = data.replace(b"%s", product.encode()) if b"%s" in data else data
        for rel, data in files.items():
            os.makedirs(os.path.dirname(os.path.join(payload, rel)), exist_ok=True)
            write_if_changed(os.path.join(payload, rel), data)
    write_if_changed(os.path.join(payload, CHANGELOG), f"# {product} Changelog\n\n## v3.3.0\n\n- Rich.\n".encode())
    make_archives.make_archives(payload, os.path.join(out_dir, "archives"), product)


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out_dir")
    parser.add_argument("--product", default="Vantorix3")
    args = parser.parse_args()
    make_rich_payload(args.out_dir, args.product)
