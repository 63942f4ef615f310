#!/usr/bin/env python3
"""Reads the file version of a Windows PE image as GetFileVersionInfo finds it.

The walk is the loader's: DOS header, PE signature, COFF header, optional
header, the resource data directory, the section table to place RVAs in the
file, then resource type RT_VERSION, name ID 1, the first language and its
VS_VERSIONINFO. Every read is bounds-checked, so a damaged file gives a
PeError that says what is wrong instead of a trace.

Usage: pe_version.py FILE
"""

import os
import struct
import sys
from dataclasses import dataclass

RT_VERSION = 16
VERSION_ID = 1                     # the only name Windows looks up under RT_VERSION
FIXED_INFO_SIGNATURE = 0xFEEF04BD
PE32, PE32_PLUS = 0x10B, 0x20B
MACHINE_X64 = 0x8664
MAX_SECTIONS = 96                  # the loader's own limit
MAX_DIRECTORY_ENTRIES = 4096

MACHINES = {
    0x14C: "32-bit x86",
    0x8664: "x86-64",
    0xAA64: "ARM64",
    0xA641: "ARM64EC",
    0x1C4: "32-bit ARM",
    0x200: "Itanium",
}


class PeError(Exception):
    """The file is not a PE image, or one too damaged to read."""


class NotPeImage(PeError):
    pass


@dataclass(frozen=True)
class PeImage:
    machine: int
    magic: int
    version: tuple | None          # (major, minor, build, revision) of resource ID 1
    version_names: tuple = ()      # what RT_VERSION holds, IDs as ints and names as strs

    @property
    def is_x64(self):
        return self.machine == MACHINE_X64 and self.magic == PE32_PLUS

    @property
    def kind(self):
        """E.g. "32-bit x86 (machine 0x14c, PE32)"."""
        name = MACHINES.get(self.machine, "unknown machine")
        return f"{name} (machine 0x{self.machine:x}, {'PE32+' if self.magic == PE32_PLUS else 'PE32'})"

    @property
    def version_text(self):
        return None if self.version is None else ".".join(map(str, self.version))

    @property
    def other_version_names(self):
        """Version resources Windows will not read, as "ID 2" or "name 'X'"."""
        return [f"ID {n}" if isinstance(n, int) else f"name {n!r}"
                for n in self.version_names if n != VERSION_ID]


class _File:
    def __init__(self, f, size):
        self.f, self.size = f, size

    def read(self, offset, size, what):
        if offset < 0 or offset + size > self.size:
            raise PeError(f"truncated: {what} ({size} bytes at offset 0x{offset:x}) lies beyond "
                          f"the end of the file ({self.size} bytes)")
        self.f.seek(offset)
        data = self.f.read(size)
        if len(data) != size:
            raise PeError(f"truncated: {what} could not be read at offset 0x{offset:x}")
        return data


class _Sections:
    def __init__(self, file, table):
        self.file = file
        self.table = table             # (rva, virtual size, raw size, raw offset)

    def read(self, rva, size, what):
        for start, virtual_size, raw_size, raw_offset in self.table:
            if start <= rva < start + max(virtual_size, raw_size):
                if rva - start + size > raw_size:
                    raise PeError(f"{what} at RVA 0x{rva:x} runs past the file data of its section")
                return self.file.read(raw_offset + rva - start, size, what)
        raise PeError(f"{what} at RVA 0x{rva:x} lies in no section")


def _headers(file):
    dos = file.read(0, 2, "DOS header") if file.size >= 2 else b""
    if dos != b"MZ":
        raise NotPeImage("not a PE image: it does not start with 'MZ'")
    (pe_offset,) = struct.unpack("<I", file.read(0x3C, 4, "offset of the PE header"))
    if file.read(pe_offset, 4, "PE signature") != b"PE\0\0":
        raise NotPeImage(f"not a PE image: no PE signature at offset 0x{pe_offset:x}")

    machine, num_sections, _, _, _, optional_size, _ = struct.unpack(
        "<HHIIIHH", file.read(pe_offset + 4, 20, "COFF header"))
    optional_at = pe_offset + 24
    (magic,) = struct.unpack("<H", file.read(optional_at, 2, "optional header"))
    if magic not in (PE32, PE32_PLUS):
        raise PeError(f"optional header magic 0x{magic:x} is neither PE32 (0x10b) nor PE32+ (0x20b)")

    # The data directories follow the fields whose widths differ between PE32
    # and PE32+; the resource table is the third of them.
    directories_at = 96 if magic == PE32 else 112
    if optional_size < directories_at:
        raise PeError(f"optional header of {optional_size} bytes is shorter than the "
                      f"{directories_at} its magic 0x{magic:x} requires")
    optional = file.read(optional_at, directories_at, "optional header")
    (count,) = struct.unpack_from("<I", optional, directories_at - 4)
    resource_rva = 0
    if count > 2:
        if optional_size < directories_at + 3 * 8:
            raise PeError(f"optional header of {optional_size} bytes cannot hold the "
                          f"data directories it announces")
        resource_rva, _ = struct.unpack(
            "<II", file.read(optional_at + directories_at + 16, 8, "resource data directory"))

    if num_sections > MAX_SECTIONS:
        raise PeError(f"{num_sections} sections, more than the {MAX_SECTIONS} the loader accepts")
    table_at = optional_at + optional_size
    raw = file.read(table_at, 40 * num_sections, "section table")
    table = []
    for i in range(num_sections):
        virtual_size, rva, raw_size, raw_offset = struct.unpack_from("<IIII", raw, 40 * i + 8)
        table.append((rva, virtual_size, raw_size, raw_offset))
    return machine, magic, resource_rva, _Sections(file, table)


def _directory(sections, root, offset, what):
    """Entries of one resource directory: (name, target, is_directory)."""
    named, numbered = struct.unpack("<HH", sections.read(root + offset + 12, 4, what))
    count = named + numbered
    if count > MAX_DIRECTORY_ENTRIES:
        raise PeError(f"{what} claims {count} entries")
    raw = sections.read(root + offset + 16, 8 * count, what + " entries")
    entries = []
    for i in range(count):
        name, target = struct.unpack_from("<II", raw, 8 * i)
        if name & 0x80000000:
            length_at = root + (name & 0x7FFFFFFF)
            (length,) = struct.unpack("<H", sections.read(length_at, 2, "resource name"))
            name = sections.read(length_at + 2, 2 * length, "resource name").decode("utf-16-le", "replace")
        entries.append((name, target & 0x7FFFFFFF, bool(target & 0x80000000)))
    return entries


def _subdirectory(entries, name, what):
    for entry_name, target, is_directory in entries:
        if entry_name == name:
            if not is_directory:
                raise PeError(f"{what} is a leaf where a directory belongs")
            return target
    return None


def _version_info(data):
    """VS_VERSIONINFO: length, value length, type, the key "VS_VERSION_INFO"
    with its terminator in UTF-16, padding to 32 bits, VS_FIXEDFILEINFO."""
    key = "VS_VERSION_INFO\0".encode("utf-16-le")
    fixed_at = (6 + len(key) + 3) & ~3
    needed = fixed_at + 52
    if len(data) < needed:
        raise PeError(f"version resource of {len(data)} bytes is too short for VS_FIXEDFILEINFO")
    length, value_length, _ = struct.unpack_from("<3H", data)
    if data[6:6 + len(key)] != key:
        raise PeError("version resource does not start with the key VS_VERSION_INFO")
    if length < needed or value_length < 52:
        raise PeError("version resource holds no VS_FIXEDFILEINFO")
    signature, _, ms, ls = struct.unpack_from("<4I", data, fixed_at)
    if signature != FIXED_INFO_SIGNATURE:
        raise PeError(f"VS_FIXEDFILEINFO signature is 0x{signature:08x}, not 0x{FIXED_INFO_SIGNATURE:08x}")
    return ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF


def read_image(f):
    """Reads an open binary file; returns a PeImage or raises PeError."""
    file = _File(f, f.seek(0, os.SEEK_END))
    machine, magic, root, sections = _headers(file)
    if root == 0:
        return PeImage(machine, magic, None)

    # Type 16, then name 1, then the first language: three levels and no
    # more, so offsets that loop cannot make the walk go on.
    types = _directory(sections, root, 0, "resource root directory")
    names_at = _subdirectory(types, RT_VERSION, "RT_VERSION entry")
    if names_at is None:
        return PeImage(machine, magic, None)
    names = _directory(sections, root, names_at, "RT_VERSION directory")
    version_names = tuple(name for name, _, _ in names)
    languages_at = _subdirectory(names, VERSION_ID, "version resource ID 1")
    if languages_at is None:
        return PeImage(machine, magic, None, version_names)

    languages = _directory(sections, root, languages_at, "language directory of version resource 1")
    if not languages:
        raise PeError("version resource 1 has no language entry")
    _, data_entry_at, is_directory = languages[0]
    if is_directory:
        raise PeError("version resource 1: the first language is a directory, not data")
    data_rva, size = struct.unpack(
        "<II", sections.read(root + data_entry_at, 8, "data entry of version resource 1"))
    # All of it, as GetFileVersionInfo loads all of it: a cut-off tail fails there too.
    data = sections.read(data_rva, min(size, 0xFFFF), "version resource 1")
    return PeImage(machine, magic, _version_info(data), version_names)


def read_file(path):
    with open(path, "rb") as f:
        return read_image(f)


def main(argv):
    if len(argv) != 1:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    path = argv[0]
    try:
        image = read_file(path)
    except (OSError, PeError) as e:
        print(f"{path}: {f'cannot read: {e.strerror or e}' if isinstance(e, OSError) else e}", file=sys.stderr)
        return 1
    if image.version is None:
        others = image.other_version_names
        where = f"; RT_VERSION holds {', '.join(others)}, Windows reads only ID 1" if others else ""
        print(f"{path}: no version resource{where}", file=sys.stderr)
        return 1
    if not image.is_x64:
        print(f"{path}: {image.kind}, not an x86-64 image", file=sys.stderr)
    print(image.version_text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
