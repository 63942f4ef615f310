"""Tests of the payload tools: the PE version reader, the payload check, the
archive builder and the stand-in payload.

Run from the repository root: python3 -m unittest discover -s tests/payload -v
"""

import io
import os
import runpy
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile
from unittest import mock

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOLS = os.path.join(ROOT, "tools")
sys.path.insert(0, TOOLS)

import check_payload  # noqa: E402
import make_archives  # noqa: E402
import make_standin_payload  # noqa: E402
import pe_stub  # noqa: E402
import pe_version  # noqa: E402
from payload_layout import FORMATS  # noqa: E402

PRODUCT = "Test Synth"           # a space, as display names have
VERSION = (3, 3, 0, 0)
FIXED_TIME = (2026, 11, 2, 12, 0, 0)
VST3_BINARY = "Test Synth.vst3/Contents/x86_64-win/Test Synth.vst3"
AAX_BINARY = "Test Synth.aaxplugin/Contents/x64/Test Synth.aaxplugin"


def load_expected_entry_lists():
    return runpy.run_path(os.path.join(ROOT, "tests", "check_archives.py"))["EXPECTED"]


def run_tool(name, *args, cwd=None):
    return subprocess.run([sys.executable, os.path.join(TOOLS, name), *args],
                          capture_output=True, text=True, cwd=cwd)


def put(root, rel, data=b""):
    path = os.path.join(root, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def replace_with_folder(root, rel):
    os.remove(os.path.join(root, rel))
    put(root, rel + "/inside.txt", b"x")


def replace_with_file(root, rel):
    shutil.rmtree(os.path.join(root, rel))
    put(root, rel, b"x")


def build_payload(root, product=PRODUCT, version=VERSION):
    """The smallest good payload: each item holds its binary and nothing
    else, beside the product's release notes."""
    binary = pe_stub.make_pe(version)
    for fmt in FORMATS:
        put(root, fmt.version_source(product), binary)
    put(root, "CHANGELOG.md", b"# Test Synth Changelog\n\n## v3.3.0\n")


def with_machine(image, machine):
    pe_at = struct.unpack_from("<I", image, 0x3C)[0]
    return image[:pe_at + 4] + struct.pack("<H", machine) + image[pe_at + 6:]


def tree(root):
    """Everything under root, root included: relative path -> bytes, or None for a folder."""
    result = {".": None}
    for folder, subfolders, files in os.walk(root):
        for name in subfolders:
            result[os.path.relpath(os.path.join(folder, name), root)] = None
        for name in files:
            with open(os.path.join(folder, name), "rb") as f:
                result[os.path.relpath(os.path.join(folder, name), root)] = f.read()
    return result


def archive_tree(zf):
    """What the archive's entries say is there, folders their paths imply included."""
    result = {}
    for info in zf.infolist():
        parts = info.filename.rstrip("\\").split("\\")
        for depth in range(1, len(parts)):
            result["/".join(parts[:depth])] = None
        result["/".join(parts)] = None if info.filename.endswith("\\") else zf.read(info)
    return result


class PeVersionTest(unittest.TestCase):
    CASES = [
        # pe_stub options, version, is x86-64, kind, version resources Windows does not read
        (dict(version=(3, 3, 0, 0)), (3, 3, 0, 0), True, "x86-64 (machine 0x8664, PE32+)", []),
        (dict(version=(65534, 65533, 258, 65535)), (65534, 65533, 258, 65535), True,
         "x86-64 (machine 0x8664, PE32+)", []),
        (dict(version=(3, 4, 0, 0), text_size=70000), (3, 4, 0, 0), True, "x86-64 (machine 0x8664, PE32+)", []),
        (dict(version=(3, 9, 0, 0), pe32=True), (3, 9, 0, 0), False, "32-bit x86 (machine 0x14c, PE32)", []),
        (dict(version=None), None, True, "x86-64 (machine 0x8664, PE32+)", []),
        (dict(version=(3, 3, 0, 0), version_id=2), None, True, "x86-64 (machine 0x8664, PE32+)", ["ID 2"]),
        (dict(version=(3, 3, 0, 0), version_id="VERSION"), None, True, "x86-64 (machine 0x8664, PE32+)",
         ["name 'VERSION'"]),
    ]

    def read(self, data):
        return pe_version.read_image(io.BytesIO(data))

    def test_reads_machine_and_version_as_windows_does(self):
        for options, version, is_x64, kind, others in self.CASES:
            with self.subTest(options):
                image = self.read(pe_stub.make_pe(**options))
                self.assertEqual((image.version, image.is_x64, image.kind, image.other_version_names),
                                 (version, is_x64, kind, others))

    def test_x86_64_takes_both_machine_and_pe32_plus(self):
        for pe32, machine, kind in [(False, 0xAA64, "ARM64 (machine 0xaa64, PE32+)"),
                                    (True, 0x8664, "x86-64 (machine 0x8664, PE32)")]:
            with self.subTest(kind):
                image = self.read(with_machine(pe_stub.make_pe(VERSION, pe32=pe32), machine))
                self.assertEqual((image.is_x64, image.kind, image.version), (False, kind, VERSION))

    def test_not_a_pe_image(self):
        dos_program = b"MZ" + bytes(0x3A) + struct.pack("<I", 0x40) + b"NE\0\0"
        for data in (b"", b"M", b"\x7fELF\x02\x01\x01" + bytes(64), dos_program):
            with self.subTest(data[:8]):
                with self.assertRaisesRegex(pe_version.NotPeImage, "not a PE image"):
                    self.read(data)

    def test_every_cut_before_the_version_data_ends_is_an_error(self):
        image = pe_stub.make_pe(VERSION)
        version_end = image.index(struct.pack("<I", pe_version.FIXED_INFO_SIGNATURE)) + 52
        for length in range(len(image)):
            data = image[:length]
            if length < version_end:
                with self.assertRaises(pe_version.PeError, msg=f"cut at {length}"):
                    self.read(data)
            else:
                self.assertEqual(self.read(data).version, VERSION, f"cut at {length}")

    def test_any_damaged_byte_gives_an_image_or_a_pe_error(self):
        image = pe_stub.make_pe(VERSION, version_id="V")
        for offset in range(len(image)):
            for value in (0x00, 0x7F, 0xFF):
                data = bytearray(image)
                data[offset] = value
                try:
                    self.read(bytes(data))
                except pe_version.PeError:
                    pass

    def test_damaged_structures_are_named(self):
        image = pe_stub.make_pe(VERSION)
        pe_at = 0x80
        optional_at = pe_at + 24
        resource_directory_at = optional_at + 112 + 16
        signature_at = image.index(struct.pack("<I", pe_version.FIXED_INFO_SIGNATURE))
        rsrc_header_at = optional_at + 240          # the only section
        cases = [
            (0x3C, struct.pack("<I", 0xFFFFFFF0), "truncated: PE signature"),
            (optional_at, struct.pack("<H", 0x10C), "magic 0x10c"),
            (pe_at + 20, struct.pack("<H", 100), "optional header of 100 bytes"),
            (pe_at + 6, struct.pack("<H", 500), "500 sections"),
            (resource_directory_at, struct.pack("<I", 0x9000), "lies in no section"),
            (0x200 + 12, struct.pack("<HH", 0, 4000), "resource root directory entries"),
            (rsrc_header_at + 16, struct.pack("<I", 0x60), "version resource 1 at RVA 0x1058 runs past"),
            (0x200 + 72 + 4, struct.pack("<I", 0x1000), "version resource 1 at RVA 0x1058 runs past"),
            (signature_at, struct.pack("<I", 0x12345678), "signature is 0x12345678"),
        ]
        for offset, patch, message in cases:
            with self.subTest(message):
                data = image[:offset] + patch + image[offset + len(patch):]
                with self.assertRaisesRegex(pe_version.PeError, message):
                    self.read(data)

    def test_command_line(self):
        with tempfile.TemporaryDirectory() as folder:
            cases = [
                (pe_stub.make_pe((3, 9, 0, 0), pe32=True), 0, "3.9.0.0\n", "32-bit x86 (machine 0x14c, PE32)"),
                (pe_stub.make_pe((3, 3, 0, 0), version_id=7), 1, "", "ID 7"),
                (b"plain text", 1, "", "not a PE image"),
            ]
            for i, (data, status, out, err) in enumerate(cases):
                with self.subTest(out or err):
                    put(folder, f"{i}.dll", data)
                    result = run_tool("pe_version.py", os.path.join(folder, f"{i}.dll"))
                    self.assertEqual((result.returncode, result.stdout), (status, out))
                    self.assertIn(err, result.stderr)
                    self.assertNotIn("Traceback", result.stderr)


class CheckPayloadTest(unittest.TestCase):
    # what is done to a good payload, the file the message names, what it must say
    REFUSED = [
        (lambda r: os.remove(os.path.join(r, "Test Synth.clap")),
         "Test Synth.clap", ["missing", "expected the CLAP plug-in file"]),
        (lambda r: replace_with_file(r, "Test Synth.vst3"),
         "Test Synth.vst3", ["found a file", "expected a bundle folder (VST3)"]),
        (lambda r: replace_with_folder(r, "Test Synth.dll"),
         "Test Synth.dll", ["found a folder", "expected the VST2 plug-in file"]),
        (lambda r: os.remove(os.path.join(r, AAX_BINARY)),
         AAX_BINARY, ["missing", "AAX plug-in binary"]),
        (lambda r: put(r, AAX_BINARY, pe_stub.make_pe(VERSION, pe32=True)),
         AAX_BINARY, ["32-bit x86 (machine 0x14c, PE32)", "expected a 64-bit x86-64 image (machine 0x8664, PE32+)"]),
        (lambda r: put(r, "Test Synth.clap", pe_stub.make_pe(None)),
         "Test Synth.clap", ["no version resource", "3.3.0.0", "(VS_VERSION_INFO, ID 1) with FILEVERSION and "
                             "PRODUCTVERSION 3,3,0,0"]),
        (lambda r: put(r, "Test Synth.dll", pe_stub.make_pe((3, 3, 0, 1))),
         "Test Synth.dll", ["file version 3.3.0.1", "expected 3.3.0.0", "NEEDS UPDATE",
                            "set FILEVERSION and PRODUCTVERSION in the plug-in's version resource to 3,3,0,0"]),
        (lambda r: put(r, "Test Synth.clap", with_machine(pe_stub.make_pe(VERSION), 0xAA64)),
         "Test Synth.clap", ["ARM64 (machine 0xaa64, PE32+)", "expected a 64-bit x86-64 image"]),
        (lambda r: put(r, VST3_BINARY, pe_stub.make_pe(VERSION, version_id=2)),
         VST3_BINARY, ["under ID 2", "expected it under ID 1"]),
        (lambda r: put(r, VST3_BINARY, b"#!/bin/sh\necho not a plug-in\n"),
         VST3_BINARY, ["not a PE image", "expected a 64-bit x86-64 PE image"]),
        (lambda r: put(r, "Test Synth.dll", pe_stub.make_pe(VERSION)[:0x2A0]),
         "Test Synth.dll", ["damaged PE image, truncated", "expected a complete 64-bit x86-64 PE image"]),
        (lambda r: os.symlink("desktop.ini", os.path.join(r, "Test Synth.aaxplugin", "Preset.ini")),
         "Test Synth.aaxplugin/Preset.ini", ["symbolic link (to desktop.ini)", "would not survive the archive"]),
        (lambda r: os.symlink("/tmp", os.path.join(r, "Test Synth.vst3", "Contents", "Shared")),
         "Test Synth.vst3/Contents/Shared", ["symbolic link (to /tmp)"]),
        (lambda r: put(r, "Test Synth.vst3/Contents/a\\b.txt"),
         "Test Synth.vst3/Contents/a\\b.txt", ["backslash"]),
        (lambda r: (put(r, "Test Synth.vst3/Contents/README.txt"), put(r, "Test Synth.vst3/Contents/readme.txt")),
         "Test Synth.vst3/Contents/readme.txt", ["beside 'README.txt'", "differing only in case"]),
        (lambda r: os.mkfifo(os.path.join(r, "Test Synth.aaxplugin", "pipe")),
         "Test Synth.aaxplugin/pipe", ["found a special file", "expected a file or folder"]),
        (lambda r: os.remove(os.path.join(r, "CHANGELOG.md")),
         "CHANGELOG.md", ["missing", "expected Test Synth's release notes", "\"CHANGELOG - TEST SYNTH\"",
                          "add a CHANGELOG.md with Test Synth's release notes at the top of the payload folder"]),
        (lambda r: replace_with_folder(r, "CHANGELOG.md"),
         "CHANGELOG.md", ["found a folder", "expected the release notes file"]),
    ]

    def setUp(self):
        self.root = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.root)
        build_payload(self.root)

    def test_good_payload_passes(self):
        put(self.root, "Test Synth.aaxplugin/desktop.ini", b"[.ShellClassInfo]\r\n")
        put(self.root, "README.txt", b"not part of the payload")
        self.assertEqual(check_payload.check_payload(self.root, PRODUCT, VERSION), [])

    def test_refused_payloads_name_file_found_and_expected(self):
        for mutate, rel, phrases in self.REFUSED:
            with self.subTest(rel=rel, says=phrases[0]):
                root = os.path.join(self.root, "case")
                shutil.rmtree(root, ignore_errors=True)
                build_payload(root)
                put(root, "Test Synth.aaxplugin/desktop.ini", b"[.ShellClassInfo]\r\n")
                mutate(root)
                problems = check_payload.check_payload(root, PRODUCT, VERSION)
                self.assertEqual(len(problems), 1, problems)
                self.assertTrue(problems[0].startswith(os.path.join(root, rel) + ": "), problems[0])
                for phrase in phrases:
                    self.assertIn(phrase, problems[0])

    def test_all_problems_are_reported(self):
        put(self.root, "Test Synth.dll", pe_stub.make_pe((3, 2, 0, 0), pe32=True))
        os.remove(os.path.join(self.root, "Test Synth.clap"))
        put(self.root, AAX_BINARY, pe_stub.make_pe(None))
        problems = check_payload.check_payload(self.root, PRODUCT, VERSION)
        named = sorted(os.path.relpath(p.split(": ")[0], self.root) for p in problems)
        self.assertEqual(named, sorted([AAX_BINARY, "Test Synth.clap", "Test Synth.dll", "Test Synth.dll"]))

    def test_version_argument(self):
        for text, version in [("3.3.0", (3, 3, 0, 0)), ("3", (3, 0, 0, 0)), ("3.3.0.7", (3, 3, 0, 7)),
                              ("65535.0.0.1", (65535, 0, 0, 1)), ("3.3.0.0.0", None), ("3.x", None),
                              ("", None), ("3..0", None), ("-3.3", None), ("3.65536", None), ("3.3 ", None),
                              ("3.\u0663", None)]:
            with self.subTest(text):
                if version is None:
                    self.assertRaises(ValueError, check_payload.parse_version, text)
                else:
                    self.assertEqual(check_payload.parse_version(text), version)
        result = run_tool("check_payload.py", self.root, "--product", PRODUCT, "--version", "3.3.0.0.0")
        self.assertEqual(result.returncode, 2)
        self.assertIn("3.3.0.0.0", result.stderr)

    def check(self, product=PRODUCT):
        return run_tool("check_payload.py", os.path.basename(self.root), "--product", product,
                        "--version", "3.3.0", "--print-changelog", cwd=os.path.dirname(self.root))

    def test_command_line_and_release_notes(self):
        result = self.check()
        self.assertEqual((result.returncode, result.stdout, result.stderr),
                         (0, os.path.join(self.root, "CHANGELOG.md") + "\n", ""))

        put(self.root, "Test Synth.dll", pe_stub.make_pe((3, 2, 0, 0), pe32=True))
        os.remove(os.path.join(self.root, "CHANGELOG.md"))
        result = self.check()
        self.assertEqual((result.returncode, result.stdout), (1, ""))
        lines = result.stderr.splitlines()
        self.assertEqual(len(lines), 3, lines)
        for line in lines:
            self.assertTrue(line.startswith("payload error: "), line)

    def test_product_name_as_the_build_gives_it(self):
        # The build's TSR_PRODUCT_NAME writes spaces as underscores; a maker
        # checking by hand may pass either form.
        for product in ("Test_Synth", "Test Synth"):
            with self.subTest(product):
                result = self.check(product)
                self.assertEqual((result.returncode, result.stderr), (0, ""))
        result = self.check("TestSynth")
        self.assertEqual(result.returncode, 1)
        self.assertIn("TestSynth.vst3: missing", result.stderr)


class ArchiveTest(unittest.TestCase):
    """A payload whose bundles hold more than the stand-in's: presets, a
    nested resource folder, an empty folder, names differing in case."""

    EXTRAS = {
        "Test Synth.vst3/Contents/Resources/moduleinfo.json": b'{"Name": "Test Synth"}\n',
        "Test Synth.vst3/Contents/Resources/Presets/Warm Pad.vstpreset": b"preset " * 50,
        "Test Synth.vst3/Contents/Resources/Skins/Dark/knob.png": bytes(range(256)) * 4,
        "Test Synth.vst3/Contents/Resources/Skins/Dark/Fonts/": None,
        "Test Synth.vst3/Contents/Resources/Skins/light/": None,
        "Test Synth.vst3/Contents/Resources/Empty/": None,
        "Test Synth.vst3/Contents/Resources/Zeta.txt": b"Z",
        "Test Synth.vst3/Contents/Resources/alpha.txt": b"a",
        "Test Synth.aaxplugin/desktop.ini": b"[.ShellClassInfo]\r\n",
        "Test Synth.aaxplugin/Plugin.ico": b"\0\0\1\0",
        "Test Synth.aaxplugin/Contents/Resources/": None,
    }

    # The order rules applied by hand to the VST3 bundle above: shallower
    # entries first, then folders before files, then case-insensitive path.
    VST3_ENTRIES = [
        "Test Synth.vst3\\Contents\\",
        "Test Synth.vst3\\Contents\\Resources\\Empty\\",
        "Test Synth.vst3\\Contents\\Resources\\Skins\\",
        "Test Synth.vst3\\Contents\\Resources\\alpha.txt",
        "Test Synth.vst3\\Contents\\Resources\\moduleinfo.json",
        "Test Synth.vst3\\Contents\\Resources\\Zeta.txt",
        "Test Synth.vst3\\Contents\\x86_64-win\\Test Synth.vst3",
        "Test Synth.vst3\\Contents\\Resources\\Skins\\light\\",
        "Test Synth.vst3\\Contents\\Resources\\Presets\\Warm Pad.vstpreset",
        "Test Synth.vst3\\Contents\\Resources\\Skins\\Dark\\Fonts\\",
        "Test Synth.vst3\\Contents\\Resources\\Skins\\Dark\\knob.png",
    ]

    def make_payload(self, root, reverse=False):
        build_payload(root)
        for rel, data in sorted(self.EXTRAS.items(), reverse=reverse):
            if data is None:
                os.makedirs(os.path.join(root, rel), exist_ok=True)
            else:
                put(root, rel, data)
        put(root, "CHANGELOG.md", b"# notes\n")
        put(root, "Test Synth.vst3.bak", b"outside every item")

    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.folder)
        self.payload = os.path.join(self.folder, "payload")
        self.out = os.path.join(self.folder, "out")
        self.make_payload(self.payload)
        self.assertEqual(check_payload.check_payload(self.payload, PRODUCT, VERSION), [])
        make_archives.make_archives(self.payload, self.out, PRODUCT)

    def archives(self):
        for fmt in FORMATS:
            with self.subTest(fmt.archive):
                with zipfile.ZipFile(os.path.join(self.out, fmt.archive)) as zf:
                    yield fmt, zf

    def test_entries_are_the_item_tree(self):
        for fmt, zf in self.archives():
            item = fmt.item(PRODUCT)
            if fmt.is_bundle:
                expected = {os.path.normpath(os.path.join(item, rel)): data
                            for rel, data in tree(os.path.join(self.payload, item)).items()}
            else:
                with open(os.path.join(self.payload, item), "rb") as f:
                    expected = {item: f.read()}
            self.assertEqual(archive_tree(zf), expected)
            listed = subprocess.run(["unzip", "-Z1", os.path.join(self.out, fmt.archive)],
                                    capture_output=True, text=True, check=True).stdout.splitlines()
            self.assertEqual(listed, [i.filename for i in zf.infolist()])

    def test_entry_order(self):
        with zipfile.ZipFile(os.path.join(self.out, "vst3.zip")) as zf:
            self.assertEqual(zf.namelist(), self.VST3_ENTRIES)
        with zipfile.ZipFile(os.path.join(self.out, "aax.zip")) as zf:
            self.assertEqual(zf.namelist(), ["Test Synth.aaxplugin\\Contents\\",
                                             "Test Synth.aaxplugin\\desktop.ini",
                                             "Test Synth.aaxplugin\\Plugin.ico",
                                             "Test Synth.aaxplugin\\Contents\\Resources\\",
                                             "Test Synth.aaxplugin\\Contents\\x64\\Test Synth.aaxplugin"])

    def test_entry_fields(self):
        for fmt, zf in self.archives():
            for info in zf.infolist():
                is_folder = info.filename.endswith("\\")
                self.assertNotIn("/", info.filename)
                self.assertEqual(
                    (info.compress_type, info.external_attr, info.create_system, info.date_time),
                    (zipfile.ZIP_STORED, 0x10, 0, FIXED_TIME) if is_folder else
                    (zipfile.ZIP_DEFLATED, 0x20, 0, FIXED_TIME), info.filename)
                if is_folder:
                    self.assertEqual((info.file_size, info.compress_size), (0, 0))
            self.assertIsNone(zf.testzip())

    def test_unzip_reproduces_the_tree(self):
        for fmt, _ in self.archives():
            target = os.path.join(self.folder, "unzipped-" + fmt.archive)
            # Exit status 1 is Info-ZIP's warning that the names use backslashes.
            status = subprocess.run(["unzip", "-q", os.path.join(self.out, fmt.archive), "-d", target],
                                    capture_output=True).returncode
            self.assertIn(status, (0, 1))
            item = fmt.item(PRODUCT)
            self.assertEqual(os.listdir(target), [item])
            if fmt.is_bundle:
                self.assertEqual(tree(os.path.join(target, item)), tree(os.path.join(self.payload, item)))
            else:
                with open(os.path.join(target, item), "rb") as a, open(os.path.join(self.payload, item), "rb") as b:
                    self.assertEqual(a.read(), b.read())

    def test_same_inputs_give_the_same_bytes(self):
        # The same payload made in the opposite order, with other mtimes and
        # permissions, archived at another time.
        other = os.path.join(self.folder, "other")
        self.make_payload(other, reverse=True)
        for i, (folder, subfolders, files) in enumerate(os.walk(other)):
            for name in files:
                os.chmod(os.path.join(folder, name), 0o755 if i % 2 else 0o600)
                os.utime(os.path.join(folder, name), (1e9 + i, 1e9 + i))
            os.utime(folder, (2e9, 2e9))
        other_out = os.path.join(self.folder, "other-out")
        with mock.patch("time.time", return_value=1.6e9):
            make_archives.make_archives(other, other_out, PRODUCT)
        for fmt in FORMATS:
            with open(os.path.join(self.out, fmt.archive), "rb") as a, \
                    open(os.path.join(other_out, fmt.archive), "rb") as b:
                self.assertTrue(a.read() == b.read(), fmt.archive)

    def test_only_changed_archives_are_rewritten(self):
        paths = {fmt.archive: os.path.join(self.out, fmt.archive) for fmt in FORMATS}
        for path in paths.values():
            os.utime(path, (1e9, 1e9))
        self.assertEqual(make_archives.make_archives(self.payload, self.out, PRODUCT), [])
        put(self.payload, "Test Synth.aaxplugin/desktop.ini", b"[.ShellClassInfo]\r\nIconResource=Plugin.ico,0\r\n")
        self.assertEqual(make_archives.make_archives(self.payload, self.out, PRODUCT), ["aax.zip"])
        self.assertEqual({name: os.stat(path).st_mtime != 1e9 for name, path in paths.items()},
                         {"vst3.zip": False, "vst.zip": False, "clap.zip": False, "aax.zip": True})
        self.assertEqual(sorted(os.listdir(self.out)), sorted(paths))
        self.assertEqual(stat.S_IMODE(os.stat(paths["aax.zip"]).st_mode) & 0o044, 0o044)


class StandinPayloadTest(unittest.TestCase):
    """The stand-in is large, so one is made for the whole class, through the
    command lines the build runs."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp()
        cls.payload = os.path.join(cls.folder, "payload")
        cls.out = os.path.join(cls.folder, "out")
        for tool, args in (("make_standin_payload.py", (cls.payload, "--version", "3.3.0.0")),
                           ("make_archives.py", (cls.payload, cls.out))):
            result = run_tool(tool, *args, "--product", "Vantorix3")
            if result.returncode != 0:
                raise RuntimeError(f"{tool} failed: {result.stderr}")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def test_passes_the_check_with_this_builds_own_notes(self):
        self.assertEqual(check_payload.check_payload(self.payload, "Vantorix3", VERSION), [])
        with open(os.path.join(self.payload, "CHANGELOG.md"), "rb") as a, \
                open(os.path.join(ROOT, "resources", "CHANGELOG.md"), "rb") as b:
            self.assertTrue(a.read() == b.read())

    def test_archives_keep_todays_entry_lists(self):
        for archive, entries in load_expected_entry_lists().items():
            with zipfile.ZipFile(os.path.join(self.out, archive)) as zf:
                self.assertEqual(zf.namelist(), entries, archive)

    def test_archives_are_plugin_sized_and_binaries_differ(self):
        binaries = set()
        for fmt in FORMATS:
            path = os.path.join(self.out, fmt.archive)
            with self.subTest(fmt.archive):
                self.assertTrue(8_000_000 <= os.path.getsize(path) <= 9_500_000, os.path.getsize(path))
            with open(os.path.join(self.payload, fmt.version_source("Vantorix3")), "rb") as f:
                binaries.add(f.read())
        self.assertEqual(len(binaries), len(FORMATS))

    def test_generation_is_deterministic(self):
        again = os.path.join(self.folder, "again")
        make_standin_payload.make_standin_payload(again, "Vantorix3", VERSION)
        self.assertTrue(tree(again) == tree(self.payload))


class StandinRegenerationTest(unittest.TestCase):
    """Regenerating over an earlier stand-in, with small binaries to stay quick."""

    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.folder)

    def generate(self, version=VERSION):
        return make_standin_payload.make_standin_payload(self.folder, PRODUCT, version, code_size=4096)

    def test_rewrites_only_what_changes_and_removes_leftovers(self):
        self.generate()
        first = tree(self.folder)
        put(self.folder, "Test Synth.vst3/Contents/Resources/old.json", b"{}")
        os.makedirs(os.path.join(self.folder, "Test Synth.aaxplugin", "Old", "Deeper"))
        replace_with_folder(self.folder, "Test Synth.aaxplugin/Plugin.ico")
        put(self.folder, "notes.txt", b"outside the items")
        self.assertEqual(self.generate(), ["Test Synth.aaxplugin/Plugin.ico"])
        self.assertEqual(tree(self.folder), dict(first, **{"notes.txt": b"outside the items"}))

        written = self.generate((3, 4, 0, 0))
        self.assertEqual(sorted(written), sorted(fmt.version_source(PRODUCT) for fmt in FORMATS))
        self.assertEqual(check_payload.check_payload(self.folder, PRODUCT, (3, 4, 0, 0)), [])


if __name__ == "__main__":
    unittest.main()
