"""Tests of the tools that release the built executable: its signing and its
winget manifest.

Run from the repository root: python3 -m unittest discover -s tests/payload -v
"""

import hashlib
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOLS = os.path.join(ROOT, "tools")
EXIT_CODES = os.path.join(ROOT, "app", "ExitCodes.h")
sys.path.insert(0, TOOLS)

import pe_stub  # noqa: E402

IDENTITY = """#pragma once
namespace identity
{
    inline constexpr const char* applicationName    = "tsr_installer";
    inline constexpr const char* applicationVersion = "1.3.0";
    inline constexpr const char* productNameLiteral = "My_Synth";
    inline constexpr const char* productVersion     = "2.1.0";
    inline constexpr const char* maker       = "Tessarine";
    inline constexpr const char* productCode = "Tessarine.MySynth";
}
"""
URL = "https://www.tessarine.example/download/My_Synth_2.1.0.exe"


def write(folder, name, data):
    path = os.path.join(folder, name)
    with open(path, "wb" if isinstance(data, bytes) else "w") as f:
        f.write(data)
    return path


def scalars(text):
    """Key -> the values it has, in order, as YAML reads these lines: plain or
    single-quoted, nested or as a list item."""
    values = {}
    for match in re.finditer(r"^ *(?:- )?(\w+): (.+)$", text, re.MULTILINE):
        value = match[2]
        if value.startswith("'"):
            value = value[1:-1].replace("''", "'")
        values.setdefault(match[1], []).append(value)
    return values


class WingetManifestTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.folder)
        self.identity = write(self.folder, "Identity.h", IDENTITY)
        self.exe = write(self.folder, "tsr_installer.exe", pe_stub.make_pe((1, 3, 0, 0)))

    def make(self, identity=None, exit_codes=EXIT_CODES, exe=None, license="Proprietary"):
        self.out = tempfile.mkdtemp(dir=self.folder)
        return subprocess.run([sys.executable, os.path.join(TOOLS, "make_winget_manifest.py"),
                               "--identity", identity or self.identity, "--exit-codes", exit_codes,
                               "--exe", exe or self.exe, "--url", URL, "--out", self.out,
                               "--license", license, "--short-description", "A synthesizer in four plug-in formats",
                               "--publisher-url", "https://www.tessarine.example"], capture_output=True, text=True)

    def read(self, name):
        folder = os.path.join(self.out, "manifests", "t", "Tessarine", "MySynth", "2.1.0")
        with open(os.path.join(folder, name)) as f:
            return f.read()

    def test_manifest_follows_the_program(self):
        result = self.make()
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        folder = os.path.join(self.out, "manifests", "t", "Tessarine", "MySynth", "2.1.0")
        self.assertEqual(sorted(os.listdir(folder)), ["Tessarine.MySynth.installer.yaml",
                                                      "Tessarine.MySynth.locale.en-US.yaml", "Tessarine.MySynth.yaml"])
        values = scalars(self.read("Tessarine.MySynth.installer.yaml"))
        with open(self.exe, "rb") as f:
            sha256 = hashlib.sha256(f.read()).hexdigest().upper()
        self.assertEqual(
            {key: values.get(key) for key in (
                "PackageIdentifier", "PackageVersion", "InstallerType", "Scope", "ElevationRequirement",
                "Silent", "SilentWithProgress", "Log", "Custom", "DisplayName", "Publisher", "DisplayVersion",
                "ProductCode", "Architecture", "InstallerUrl", "InstallerSha256", "ManifestType", "ManifestVersion")},
            {"PackageIdentifier": ["Tessarine.MySynth"], "PackageVersion": ["2.1.0"],
             "InstallerType": ["exe"], "Scope": ["machine"], "ElevationRequirement": ["elevatesSelf"],
             "Silent": ["/VERYSILENT"], "SilentWithProgress": ["/SILENT"], "Log": ['/LOG="<LOGPATH>"'],
             "Custom": ["/COMPONENTS=vst3,vst2,clap,aax"],
             "DisplayName": ["My Synth"], "Publisher": ["Tessarine"], "DisplayVersion": ["2.1.0"],
             "ProductCode": ["Tessarine.MySynth"],
             "Architecture": ["x64"], "InstallerUrl": [URL], "InstallerSha256": [sha256],
             "ManifestType": ["installer"], "ManifestVersion": ["1.6.0"]})
        self.assertIn("InstallModes:\n  - interactive\n  - silent\n  - silentWithProgress\n",
                      self.read("Tessarine.MySynth.installer.yaml"))

        # Every code the program can end with, but success, with what it tells winget.
        with open(EXIT_CODES) as f:
            declared = [(code, response) for code, response
                        in re.findall(r"=\s*([0-9]+)\s*,?\s*//\s*winget:\s*(\S+)", f.read()) if code != "0"]
        self.assertTrue(declared)
        self.assertEqual(list(zip(values["InstallerReturnCode"], values["ReturnResponse"])), declared)

        self.assertEqual(scalars(self.read("Tessarine.MySynth.yaml")),
                         {"PackageIdentifier": ["Tessarine.MySynth"], "PackageVersion": ["2.1.0"],
                          "DefaultLocale": ["en-US"], "ManifestType": ["version"], "ManifestVersion": ["1.6.0"]})
        locale = scalars(self.read("Tessarine.MySynth.locale.en-US.yaml"))
        self.assertEqual({key: locale[key][0] for key in ("PackageLocale", "Publisher", "PackageName", "License",
                                                          "ShortDescription", "PublisherUrl", "ManifestType")},
                         {"PackageLocale": "en-US", "Publisher": "Tessarine", "PackageName": "My Synth",
                          "License": "Proprietary", "ShortDescription": "A synthesizer in four plug-in formats",
                          "PublisherUrl": "https://www.tessarine.example", "ManifestType": "defaultLocale"})

    @unittest.skipUnless(__import__("importlib").util.find_spec("yaml"), "needs PyYAML")
    def test_each_file_is_yaml_that_meets_wingets_schema(self):
        import yaml
        sys.path.insert(0, TOOLS)
        import make_winget_manifest as tool
        self.assertEqual(self.make().returncode, 0)
        kinds = {"Tessarine.MySynth.yaml": "version", "Tessarine.MySynth.locale.en-US.yaml": "defaultLocale",
                 "Tessarine.MySynth.installer.yaml": "installer"}
        for name, kind in kinds.items():
            with self.subTest(name):
                fields = yaml.safe_load(self.read(name))
                self.assertEqual(fields["ManifestType"], kind)
                as_text = {key: (str(value) if not isinstance(value, (list, dict)) else value) for key, value in fields.items()}
                self.assertEqual(tool.schema_problems(kind, as_text), [])

        # What the schema refuses, the tool refuses, naming the rule.
        result = self.make(license="GP")
        self.assertEqual(result.returncode, 1)
        self.assertIn("License: found 2 characters, expected 3 to 512", result.stderr)

    def test_refusals_say_what_and_where(self):
        with open(EXIT_CODES) as f:
            codes = f.read()
        with open(os.path.join(ROOT, "cmake", "Identity.h.in")) as f:
            template = write(self.folder, "Identity.h.in", f.read())
        unknown = codes.replace("winget: installInProgress", "winget: tryAgainLater")
        unanswered = re.sub(r"//\s*winget:\s*fileInUse", "// a program holds a file", codes)
        cases = [
            # what the tool is given, what its message must say
            (dict(exit_codes=write(self.folder, "unknown.h", unknown)),
             ["unknown.h:", "found winget response 'tryAgainLater' for busy = 1618", "installInProgress,"]),
            (dict(exit_codes=write(self.folder, "unanswered.h", unanswered)),
             ["unanswered.h:", "fileInUse", "expected `name = decimal number, // winget: response words`"]),
            (dict(identity=template), ["found productNameLiteral = '@TSR_PRODUCT_NAME@'", "generated/Identity.h"]),
            (dict(exe=write(self.folder, "tsr_installer", b"\x7fELF\x02\x01\x01" + bytes(64))),
             ["not a PE image", "expected tsr_installer.exe"]),
        ]
        self.assertNotEqual(unknown, codes)
        self.assertNotEqual(unanswered, codes)
        for given, phrases in cases:
            with self.subTest(phrases[0]):
                result = self.make(**given)
                self.assertEqual((result.returncode, result.stdout), (1, ""))
                lines = result.stderr.splitlines()
                self.assertEqual(len(lines), 1, lines)
                self.assertTrue(lines[0].startswith("manifest error: "), lines[0])
                for phrase in phrases:
                    self.assertIn(phrase, lines[0])


@unittest.skipUnless(shutil.which("osslsigncode") and shutil.which("openssl"), "needs osslsigncode and openssl")
class SignExecutableTest(unittest.TestCase):
    """Signing with a throwaway certificate, as a trial build would."""

    @classmethod
    def setUpClass(cls):
        cls.keys = tempfile.mkdtemp()
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "key.pem",
                        "-out", "cert.pem", "-days", "30", "-subj", "/CN=Test Maker",
                        "-addext", "extendedKeyUsage=codeSigning"], cwd=cls.keys, capture_output=True, check=True)
        cls.cert, cls.key = os.path.join(cls.keys, "cert.pem"), os.path.join(cls.keys, "key.pem")
        with socket.socket() as s:            # a port nothing listens on: the server is out of reach
            s.bind(("127.0.0.1", 0))
            cls.timestamp = f"http://127.0.0.1:{s.getsockname()[1]}"

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.keys)

    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.folder)
        self.unsigned = pe_stub.make_pe((1, 3, 0, 0))
        self.exe = write(self.folder, "tsr_installer.exe", self.unsigned)

    def sign(self, key=None, ca=None):
        return subprocess.run(["bash", os.path.join(TOOLS, "sign_executable.sh"), self.exe, self.cert,
                               key or self.key, "My Synth Plugin Manager", self.timestamp, ca or ""],
                              capture_output=True, text=True)

    def test_unreachable_timestamp_server_is_one_warning_line(self):
        result = self.sign()
        self.assertEqual((result.returncode, result.stdout), (0, ""))
        self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
        self.assertRegex(result.stderr, rf"^warning: no timestamp from {re.escape(self.timestamp)} .*"
                                        r"signed .* without one")
        verified = subprocess.run(["osslsigncode", "verify", "-CAfile", self.cert, "-in", self.exe],
                                  capture_output=True, text=True)
        self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)
        self.assertEqual(os.listdir(self.folder), ["tsr_installer.exe"])

    def test_failures_show_osslsigncode_and_leave_the_file_unsigned(self):
        bad_key = write(self.folder, "bad-key.pem", "not a key\n")
        other_ca = os.path.join(self.folder, "other-ca.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "/dev/null",
                        "-out", other_ca, "-days", "1", "-subj", "/CN=Someone Else"], capture_output=True, check=True)
        cases = [
            # what signing is given, its last line, whether the timestamp warning is true
            (dict(key=bad_key), "error: osslsigncode cannot sign", False),
            (dict(ca=other_ca), "error: the signature of", True),
        ]
        for given, last, warned in cases:
            with self.subTest(last):
                result = self.sign(**given)
                lines = result.stderr.splitlines()
                self.assertEqual(result.returncode, 1)
                self.assertTrue(lines[-1].startswith(last), lines)
                self.assertGreater(len(lines), 1 + warned, "osslsigncode's own explanation is missing")
                self.assertEqual(lines[0].startswith("warning: no timestamp"), warned, lines)
                with open(self.exe, "rb") as f:
                    self.assertTrue(f.read() == self.unsigned)
                self.assertEqual(sorted(os.listdir(self.folder)),
                                 ["bad-key.pem", "other-ca.pem", "tsr_installer.exe"])

if __name__ == "__main__":
    unittest.main()
