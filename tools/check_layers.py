#!/usr/bin/env python3
"""Refuses an #include that reaches a higher layer than the file it is in.

The program's code is in layers, one folder each, from the bottom: pe (plain
code), platform, install, look, panels, ui, app. A layer may include its own
headers and those of the layers below it; the build links each layer's library
only with those below, and this check says so by name before the linker would
fail with an undefined symbol, or worse, succeed through the executable.

Usage: check_layers.py [ROOT]   (ROOT: the source tree; the default is this
file's project). Exit 0 when every include points down or sideways, 1 with
one line per include that does not.
"""
import pathlib
import re
import sys

LAYERS = ["pe", "platform", "install", "look", "panels", "ui", "app"]
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)


def problems(root: pathlib.Path):
    rank = {name: i for i, name in enumerate(LAYERS)}
    for layer in LAYERS:
        for source in sorted((root / layer).rglob("*")):
            if source.suffix not in (".h", ".cpp", ".hpp", ".c"):
                continue
            text = source.read_text(errors="replace")
            for match in INCLUDE.finditer(text):
                target = (source.parent / match.group(1)).resolve()
                try:
                    top = target.relative_to(root.resolve()).parts[0]
                except ValueError:
                    continue        # outside the tree: generated or system headers
                line = text.count("\n", 0, match.start()) + 1
                where = f"{source.relative_to(root)}:{line}"
                if top not in rank:
                    yield f"{where}: includes {match.group(1)}, which is in no layer"
                elif rank[top] > rank[layer]:
                    yield f"{where}: {layer} includes {match.group(1)}, from the higher layer {top}"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
    found = list(problems(root))
    for p in found:
        print(p)
    if found:
        print(f"{len(found)} include(s) reach upwards; layers from the bottom: {', '.join(LAYERS)}")
        return 1
    print("Every include points to its own layer or one below: " + " < ".join(LAYERS))
    return 0


if __name__ == "__main__":
    sys.exit(main())
