#!/usr/bin/env python3
"""Writes small Windows PE images that carry a version resource.

They stand in for plug-in binaries: the installer reads nothing of a plug-in but
the fixed file version of its VS_VERSIONINFO, so an image made of the headers,
an optional .text section of filler and one .rsrc section is enough for the
Windows loader's GetFileVersionInfoW and for our own reader alike.

Usage: pe_stub.py OUT [--version 3.3.0.0 | --no-version] [--pe32] [--text-size N]
                  [--version-id ID]
"""

import argparse
import random
import struct
import sys

FILE_ALIGN = 0x200
SECTION_ALIGN = 0x1000
RT_VERSION = 16
LANG_EN_US = 0x409
FIXED_FILE_INFO_SIGNATURE = 0xFEEF04BD


def _align(value, alignment):
    return (value + alignment - 1) // alignment * alignment


def _version_info(version):
    """VS_VERSIONINFO holding only the fixed file information."""
    major, minor, build, revision = version
    key = "VS_VERSION_INFO\0".encode("utf-16-le")
    fixed = struct.pack(
        "<13I",
        FIXED_FILE_INFO_SIGNATURE,
        0x00010000,                       # structure version 1.0
        (major << 16) | minor, (build << 16) | revision,   # file version
        (major << 16) | minor, (build << 16) | revision,   # product version
        0x3F, 0,                          # flags mask, flags
        0x00040004,                       # VOS_NT_WINDOWS32
        2, 0,                             # VFT_DLL, no subtype
        0, 0)                             # no date
    header_len = 6 + len(key)
    padding = _align(header_len, 4) - header_len
    total = header_len + padding + len(fixed)
    return struct.pack("<3H", total, len(fixed), 0) + key + b"\0" * padding + fixed


def _resource_section(section_rva, version, version_id=1):
    """Resource tree type 16 / name 1 / language 0x409 -> VS_VERSIONINFO.

    Without a version the tree is still there but holds an RT_MANIFEST-like
    type 24 leaf, so readers must walk it and find no version. A version_id
    other than 1 (a number, or a string for a named entry) files the version
    where Windows does not look for it."""
    type_id = RT_VERSION if version is not None else 24
    payload = _version_info(version) if version is not None else b"<assembly/>"
    named = isinstance(version_id, str)

    def directory(entry_id, target, is_named=False):
        counts = (1, 0) if is_named else (0, 1)
        return struct.pack("<IIHHHH", 0, 0, 0, 0, *counts) + struct.pack("<II", entry_id, target)

    root_off, type_off, lang_off, data_entry_off = 0, 24, 48, 72
    data_off = 88
    # A name string goes after the data, so the default layout stays as it was.
    name_off = _align(data_off + len(payload), 2)
    tree = directory(type_id, 0x80000000 | type_off)
    tree += directory(0x80000000 | name_off if named else version_id, 0x80000000 | lang_off, named)
    tree += directory(LANG_EN_US, data_entry_off)
    tree += struct.pack("<IIII", section_rva + data_off, len(payload), 0, 0)
    assert len(tree) == data_off and root_off == 0
    section = tree + payload
    if named:
        section += b"\0" * (name_off - len(section))
        name = version_id.encode("utf-16-le")
        section += struct.pack("<H", len(name) // 2) + name
    return section


def make_pe(version=None, pe32=False, text_size=0, seed=1, code=None, version_id=1):
    """Returns the bytes of a PE image; version is a 4-tuple of ints or None.

    The code section holds text_size random bytes, or the given code bytes."""
    sections = []  # (name, raw bytes, characteristics)
    if code is not None:
        text_size = len(code)
    if text_size > 0:
        filler = code if code is not None else random.Random(seed).randbytes(text_size)
        sections.append((b".text", filler, 0x60000020))   # code, execute, read

    rsrc_rva = SECTION_ALIGN + _align(text_size, SECTION_ALIGN)
    sections.append((b".rsrc", _resource_section(rsrc_rva, version, version_id), 0x40000040))

    optional_size = 224 if pe32 else 240
    headers_len = 0x80 + 4 + 20 + optional_size + 40 * len(sections)
    size_of_headers = _align(headers_len, FILE_ALIGN)

    layout = []  # (name, data, characteristics, rva, raw_offset)
    rva, raw = SECTION_ALIGN, size_of_headers
    for name, data, characteristics in sections:
        layout.append((name, data, characteristics, rva, raw))
        rva += _align(len(data), SECTION_ALIGN)
        raw += _align(len(data), FILE_ALIGN)
    size_of_image = rva
    rsrc = layout[-1]
    assert rsrc[3] == rsrc_rva

    dos = bytearray(0x80)
    dos[0:2] = b"MZ"
    struct.pack_into("<I", dos, 0x3C, 0x80)
    stub = b"This program cannot be run in DOS mode.\r\r\n$"
    dos[0x40:0x40 + len(stub)] = stub

    machine = 0x14C if pe32 else 0x8664
    characteristics = 0x2102 if pe32 else 0x2022   # DLL, executable image
    coff = struct.pack("<HHIIIHH", machine, len(layout), 0, 0, 0, optional_size, characteristics)

    code_size = len(sections[0][1]) if text_size > 0 else 0
    data_size = _align(len(rsrc[1]), FILE_ALIGN)
    if pe32:
        opt = struct.pack("<HBBIIIIIII", 0x10B, 14, 0, code_size, data_size, 0, 0, 0x1000, 0, 0x10000000)
    else:
        opt = struct.pack("<HBBIIIIIQ", 0x20B, 14, 0, code_size, data_size, 0, 0, 0x1000, 0x180000000)
    opt += struct.pack("<IIHHHHHHIIIIHH", SECTION_ALIGN, FILE_ALIGN, 6, 0, 0, 0, 6, 0, 0,
                       size_of_image, size_of_headers, 0, 2, 0x0160)
    stack_heap = (0x100000, 0x1000, 0x100000, 0x1000)
    opt += struct.pack("<4I" if pe32 else "<4Q", *stack_heap)
    opt += struct.pack("<II", 0, 16)
    directories = [(0, 0)] * 16
    directories[2] = (rsrc[3], len(rsrc[1]))
    for d in directories:
        opt += struct.pack("<II", *d)
    assert len(opt) == optional_size

    table = b""
    for name, data, chars, sec_rva, sec_raw in layout:
        table += struct.pack("<8sIIIIIIHHI", name, len(data), sec_rva,
                             _align(len(data), FILE_ALIGN), sec_raw, 0, 0, 0, 0, chars)

    image = bytearray(bytes(dos) + b"PE\0\0" + coff + opt + table)
    image += b"\0" * (size_of_headers - len(image))
    for name, data, chars, sec_rva, sec_raw in layout:
        assert len(image) == sec_raw
        image += data
        image += b"\0" * (_align(len(data), FILE_ALIGN) - len(data))
    return bytes(image)


def parse_version(text):
    parts = [int(p) for p in text.split(".")]
    if len(parts) != 4 or any(p < 0 or p > 0xFFFF for p in parts):
        raise argparse.ArgumentTypeError("version must be four numbers 0..65535")
    return tuple(parts)


def _resource_id(text):
    if text.isascii() and text.isdigit():
        if not 0 <= int(text) <= 0xFFFF:
            raise argparse.ArgumentTypeError("a resource ID is a number 0..65535")
        return int(text)
    if not text:
        raise argparse.ArgumentTypeError("a resource name cannot be empty")
    return text


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out")
    group = parser.add_mutually_exclusive_group(required=True)
    group.add_argument("--version", type=parse_version)
    group.add_argument("--no-version", action="store_true")
    parser.add_argument("--pe32", action="store_true", help="32-bit image instead of PE32+")
    parser.add_argument("--text-size", type=int, default=0, help="bytes of filler code")
    parser.add_argument("--version-id", type=_resource_id, default=1,
                        help="resource ID (or name) of the version resource; Windows reads only 1")
    args = parser.parse_args(argv)
    data = make_pe(None if args.no_version else args.version, args.pe32, args.text_size,
                   version_id=args.version_id)
    with open(args.out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv[1:])
