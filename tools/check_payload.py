#!/usr/bin/env python3
"""Checks a payload folder before its archives are built.

Prints one line per problem, each starting with "payload error: ", and exits
with status 1 when there is any. With --print-changelog a clean folder makes
it print the absolute path of its CHANGELOG.md.

NAME may be given as the build's TSR_PRODUCT_NAME is, with underscores for
spaces: "My_Synth" and "My Synth" both name the items "My Synth.vst3" and so on.

Usage: check_payload.py PAYLOAD_DIR --product NAME --version 3.3.0 [--print-changelog]
"""

import argparse
import os
import stat
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe_version  # noqa: E402
from payload_layout import CHANGELOG, FORMATS, display_name, parse_version  # noqa: E402


def _kind(path):
    """What is at path, in words, without following a final link."""
    mode = os.lstat(path).st_mode
    if stat.S_ISLNK(mode):
        return "a symbolic link"
    if stat.S_ISDIR(mode):
        return "a folder"
    if stat.S_ISREG(mode):
        return "a file"
    return "a special file"


def _check_bundle_contents(bundle):
    """Links and names that the archive could not carry faithfully."""
    problems = []
    for folder, subfolders, files in os.walk(bundle):
        subfolders.sort()
        seen = {}
        for name in sorted(subfolders + files):
            path = os.path.join(folder, name)
            kind = _kind(path)
            if kind == "a symbolic link":
                problems.append(f"{path}: found a symbolic link (to {os.readlink(path)}), expected a file or "
                                f"folder: a link would not survive the archive faithfully; put the file itself there")
            elif kind == "a special file":
                problems.append(f"{path}: found a special file, expected a file or folder")
            if "\\" in name:
                problems.append(f"{path}: name contains a backslash, expected none: the archive separates "
                                f"folders with backslashes, so it would unpack as other folders")
            other = seen.setdefault(name.casefold(), name)
            if other != name:
                problems.append(f"{path}: found beside {other!r}, a name differing only in case: "
                                f"one would overwrite the other on Windows")
    return problems


def _check_binary(path, label, version):
    wanted = ".".join(map(str, version))
    numbers = ",".join(map(str, version))           # as a resource script writes them
    try:
        image = pe_version.read_file(path)
    except OSError as e:
        return [f"{path}: cannot be read ({e.strerror or e}), expected the {label} plug-in binary"]
    except pe_version.NotPeImage as e:
        return [f"{path}: {e}; expected a 64-bit x86-64 PE image (the {label} plug-in binary)"]
    except pe_version.PeError as e:
        return [f"{path}: damaged PE image, {e}; expected a complete 64-bit x86-64 PE image "
                f"(the {label} plug-in binary)"]

    problems = []
    if not image.is_x64:
        problems.append(f"{path}: found {image.kind}, expected a 64-bit x86-64 image (machine 0x8664, PE32+): "
                        f"x86-64 hosts cannot load it")
    if image.version is None:
        others = image.other_version_names
        if others:
            problems.append(f"{path}: found the version resource under {', '.join(others)}, expected it under "
                            f"ID 1, the only one Windows reads; the installer could not tell the installed version")
        else:
            problems.append(f"{path}: found no version resource, expected one with file version {wanted}: "
                            f"the installer could not tell the installed version; give the plug-in a version "
                            f"resource (VS_VERSION_INFO, ID 1) with FILEVERSION and PRODUCTVERSION {numbers}")
    elif image.version != version:
        problems.append(f"{path}: found file version {image.version_text}, expected {wanted} (the product "
                        f"version): the installer would show NEEDS UPDATE right after installing; set FILEVERSION "
                        f"and PRODUCTVERSION in the plug-in's version resource to {numbers}")
    return problems


def check_payload(payload_dir, product, version):
    """Problems of the payload folder for product at version (a 4-tuple), as messages."""
    if not os.path.isdir(payload_dir):
        found = f"found {_kind(payload_dir)}" if os.path.lexists(payload_dir) else "missing"
        return [f"{payload_dir}: {found}, expected the payload folder"]

    problems = []
    for fmt in FORMATS:
        item = os.path.join(payload_dir, fmt.item(product))
        expected = f"a bundle folder ({fmt.label})" if fmt.is_bundle else f"the {fmt.label} plug-in file"
        if not os.path.lexists(item):
            problems.append(f"{item}: missing, expected {expected}")
            continue
        if not os.path.exists(item):
            problems.append(f"{item}: found a symbolic link to nothing (to {os.readlink(item)}), expected {expected}")
            continue
        # The item itself may be a link: the archive takes what it points to.
        is_right_kind = os.path.isdir(item) if fmt.is_bundle else os.path.isfile(item)
        if not is_right_kind:
            found = "a folder" if os.path.isdir(item) else "a file" if os.path.isfile(item) else "a special file"
            problems.append(f"{item}: found {found}, expected {expected}")
            continue

        if fmt.is_bundle:
            problems += _check_bundle_contents(item)
            source = os.path.join(payload_dir, fmt.version_source(product))
            if not os.path.lexists(source):
                problems.append(f"{source}: missing, expected the {fmt.label} plug-in binary, whose version "
                                f"resource tells the installer the installed version")
                continue
            if os.path.islink(source):
                continue                     # reported above as a link
            if not os.path.isfile(source):
                problems.append(f"{source}: found {_kind(source)}, expected the {fmt.label} plug-in binary file")
                continue
        else:
            source = item
        problems += _check_binary(source, fmt.label, version)

    # The program embeds its own notes when the payload brings none, and those
    # are another product's: the panel would show them as this product's.
    changelog = os.path.join(payload_dir, CHANGELOG)
    if not os.path.lexists(changelog):
        problems.append(f"{changelog}: missing, expected {product}'s release notes: without them the installer "
                        f"would show its built-in notes, another product's, under \"CHANGELOG - "
                        f"{product.upper()}\"; add a {CHANGELOG} with {product}'s release notes at the top of "
                        f"the payload folder")
    elif not os.path.isfile(changelog):
        problems.append(f"{changelog}: found {_kind(changelog)}, expected the release notes file")
    return problems


def changelog_path(payload_dir):
    return os.path.abspath(os.path.join(payload_dir, CHANGELOG))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("payload_dir")
    parser.add_argument("--product", required=True,
                        help="the product's name, underscores for spaces as in TSR_PRODUCT_NAME, or its display name")
    parser.add_argument("--version", required=True, help="product version, e.g. 3.3.0 for 3.3.0.0")
    parser.add_argument("--print-changelog", action="store_true",
                        help="print the absolute path of CHANGELOG.md when the folder passes")
    args = parser.parse_args(argv)
    try:
        version = parse_version(args.version)
    except ValueError as e:
        parser.error(str(e))

    problems = check_payload(args.payload_dir, display_name(args.product), version)
    for problem in problems:
        print("payload error:", problem, file=sys.stderr)
    if problems:
        return 1
    if args.print_changelog:
        print(changelog_path(args.payload_dir))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
