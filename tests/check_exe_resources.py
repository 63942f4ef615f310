#!/usr/bin/env python3
"""Reads the built Windows executable as Windows would: PE headers, imported
DLLs, and the manifest, version information and icon groups in its resources."""

import os
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

results = []

# The system's KnownDLLs: always taken from System32, whatever lies beside the program.
KNOWN_DLLS = {name + ".dll" for name in (
    "kernel32", "user32", "gdi32", "advapi32", "shell32", "ole32", "oleaut32", "comdlg32", "imm32", "shlwapi",
    "ws2_32", "msvcrt", "rpcrt4", "sechost", "setupapi", "shcore", "combase", "psapi", "ntdll")}


def check(name, condition, detail=""):
    results.append((name, bool(condition), detail))


def pe_headers(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    magic = struct.unpack_from("<H", data, pe + 24)[0]
    subsystem = struct.unpack_from("<H", data, pe + 24 + 68)[0]
    return data[pe:pe + 4], magic, subsystem


def resource(exe, rtype, name, out_dir):
    subprocess.run(["wrestool", "-x", f"--type={rtype}", f"--name={name}", "-R", "-o", out_dir, exe], check=True)
    files = [f for f in os.listdir(out_dir) if f.startswith(os.path.basename(exe) + f"_{rtype}_{name}")]
    with open(os.path.join(out_dir, files[0]), "rb") as f:
        return f.read()


def version_strings(block):
    """Walks a VS_VERSIONINFO tree; returns the fixed info words and the string values."""
    strings = {}

    def walk(offset, end, depth):
        while offset + 6 <= end:
            length, value_length, value_type = struct.unpack_from("<HHH", block, offset)
            if length == 0:
                break
            key_end = offset + 6
            while block[key_end:key_end + 2] != b"\0\0":
                key_end += 2
            key = block[offset + 6:key_end].decode("utf-16-le")
            value_start = (key_end + 2 + 3) & ~3
            if depth == 3 and value_type == 1:
                raw = block[value_start:value_start + value_length * 2].decode("utf-16-le")
                strings[key] = raw.rstrip("\0")
            value_bytes = value_length * 2 if value_type == 1 else value_length
            children = (value_start + value_bytes + 3) & ~3
            if depth < 3 and key in ("VS_VERSION_INFO", "StringFileInfo") or depth == 2:
                walk(children, offset + length, depth + 1)
            offset = (offset + length + 3) & ~3

    walk(0, len(block), 0)
    signature = block.find(struct.pack("<I", 0xFEEF04BD))
    fixed = struct.unpack_from("<13I", block, signature)
    return fixed, strings


def icon_images(ico):
    count = struct.unpack_from("<H", ico, 4)[0]
    images = []
    for i in range(count):
        width, height, _, _, _, bits, size, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
        payload = ico[offset:offset + size]
        images.append((width or 256, height or 256, bits, payload.startswith(b"\x89PNG")))
    return images


def main(exe):
    with open(exe, "rb") as f:
        data = f.read()
    signature, magic, subsystem = pe_headers(data)
    check("PE32+ image", signature == b"PE\0\0" and magic == 0x20B, hex(magic))
    check("GUI subsystem", subsystem == 2, subsystem)

    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], capture_output=True, text=True, check=True).stdout
    dlls = [line.split(":", 1)[1].strip() for line in dump.splitlines() if "DLL Name:" in line]
    # Any other DLL imported at load time is looked for beside the executable
    # first, where whoever can write to the download folder may have put one.
    unknown = [d for d in dlls if d.lower() not in KNOWN_DLLS]
    check("imports only KnownDLLs, which only System32 serves", dlls and not unknown, unknown)
    print("static imports: " + " ".join(dlls))

    # Loads by bare name come from System32 only once the entry point has said
    # so, before the C runtime and every static constructor.
    start = int(next(l for l in subprocess.run(["x86_64-w64-mingw32-objdump", "-f", exe], capture_output=True, text=True,
                                               check=True).stdout.splitlines() if "start address" in l).split()[-1], 16)
    symbols = subprocess.run(["x86_64-w64-mingw32-nm", exe], capture_output=True, text=True).stdout
    entry = [int(l.split()[0], 16) for l in symbols.splitlines() if l.endswith(" tsrProcessEntry")]
    check("the entry point limits DLL loading to System32 first", entry == [start], (hex(start), entry))

    with tempfile.TemporaryDirectory() as out:
        manifest = ET.fromstring(resource(exe, 24, 1, out))
        ns = {"v1": "urn:schemas-microsoft-com:asm.v1", "v3": "urn:schemas-microsoft-com:asm.v3"}
        level = manifest.find(".//v3:requestedExecutionLevel", ns)
        check("manifest asks for administrator rights",
              level is not None and level.get("level") == "requireAdministrator" and level.get("uiAccess") == "false")
        identity = manifest.find(".//v1:dependentAssembly/v1:assemblyIdentity", ns)
        check("manifest depends on common controls 6",
              identity is not None and identity.attrib == {
                  "type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
                  "processorArchitecture": "*", "publicKeyToken": "6595b64144ccf1df", "language": "*"},
              identity.attrib if identity is not None else None)

        fixed, strings = version_strings(resource(exe, 16, 1, out))
        check("fixed file and product version 1.3.0.0",
              fixed[2:6] == (0x00010003, 0, 0x00010003, 0), [hex(v) for v in fixed[2:6]])
        expected = {"FileVersion": "1.3.0", "ProductVersion": "1.3.0", "FileDescription": "tsr_installer",
                    "ProductName": "tsr_installer", "CompanyName": "Tessarine"}
        check("version strings", all(strings.get(k) == v for k, v in expected.items()), strings)
        check("legal notice names the maker", "Tessarine" in strings.get("LegalCopyright", ""), strings)

        groups = []
        for name in ("IDI_ICON1", "IDI_ICON2"):
            subprocess.run(["wrestool", "-x", "--type=14", f"--name={name}", "-o", out, exe], check=True)
            with open(os.path.join(out, f"{os.path.basename(exe)}_14_{name}.ico"), "rb") as f:
                groups.append(f.read())
        images = icon_images(groups[0])
        check("icon sizes and kinds", images == [(16, 16, 32, False), (32, 32, 32, False),
                                                 (48, 48, 32, False), (256, 256, 32, True)], images)
        check("both icon groups hold the same images", groups[0] == groups[1])

    for name, ok, detail in results:
        print(("ok   " if ok else "FAIL ") + name + ("" if ok else f": {detail}"))
    failed = sum(1 for _, ok, _ in results if not ok)
    print(f"{len(results) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
