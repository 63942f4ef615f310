#!/usr/bin/env python3
"""Prints the winget installer manifest of a built tsr_installer.exe.

Everything the program decides is read from the program's own sources, so the
manifest cannot drift from it: the product's name and version from the
Identity.h the build generates, the exit codes and what they tell winget from
app/ExitCodes.h, and the SHA-256 from the executable itself. A line of
ExitCodes.h that does not read as `name = number, // winget: response words`,
or a response winget does not know, refuses the manifest (exit status 1)
rather than leave that code out of it.

Usage: make_winget_manifest.py --identity BUILD/generated/Identity.h --exit-codes app/ExitCodes.h
                               --exe BUILD/tsr_installer.exe --url https://.../tsr_installer.exe
                               [--publisher Tessarine] [--package-identifier Tessarine.MySynth]
"""

import argparse
import hashlib
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe_version  # noqa: E402
from payload_layout import FORMATS, display_name, parse_version  # noqa: E402

MANIFEST_VERSION = "1.6.0"

# winget's ReturnResponse values, as its installer manifest schema lists them.
RETURN_RESPONSES = (
    "packageInUse", "packageInUseByApplication", "installInProgress", "fileInUse", "missingDependency",
    "diskFull", "insufficientMemory", "invalidParameter", "noNetwork", "contactSupport",
    "rebootRequiredToFinish", "rebootRequiredForInstall", "rebootInitiated", "cancelledByUser",
    "alreadyInstalled", "downgrade", "blockedByPolicy", "systemNotSupported", "custom",
)
SUCCESS = "(success)"

# The program's command line. /COMPONENTS names the formats in the order the
# payload lays them out; without it every format is installed.
SWITCHES = (
    ("Silent", "/VERYSILENT"),
    ("SilentWithProgress", "/SILENT"),
    ("Log", '/LOG="<LOGPATH>"'),
    ("Custom", "/COMPONENTS=" + ",".join(fmt.label.lower() for fmt in FORMATS)),
)

ENUMERATOR = re.compile(r"\s*(?P<name>[A-Za-z_]\w*)\s*=\s*(?P<number>[0-9]+)\s*,?\s*"
                        r"//\s*winget:\s*(?P<response>\S+)(?:\s.*)?")
STRING_CONSTANT = re.compile(r'\s*inline\s+constexpr\s+const\s+char\s*\*\s*(\w+)\s*=\s*"([^"\\]*)"\s*;')
# winget's own patterns: dot-separated parts of 1..32 characters, 2..8 parts.
IDENTIFIER_PART = r'[^.\s\\/:*?"<>|\x00-\x1f]{1,32}'
PACKAGE_IDENTIFIER = re.compile(rf"{IDENTIFIER_PART}(\.{IDENTIFIER_PART}){{1,7}}")


class ManifestError(Exception):
    """Problems that refuse the manifest, one message each."""

    def __init__(self, problems):
        super().__init__("\n".join(problems))
        self.problems = problems


def read_text(path, what):
    try:
        with open(path, encoding="utf-8") as f:
            return f.read()
    except (OSError, UnicodeDecodeError) as e:
        raise ManifestError([f"{path}: cannot be read ({getattr(e, 'strerror', None) or e}), expected {what}"])


def read_exit_codes(path):
    """[(name, number, response)] of the ExitCode enumeration, in its order."""
    lines = read_text(path, "the program's exit codes (app/ExitCodes.h)").splitlines()
    starts = [i for i, line in enumerate(lines) if re.match(r"\s*enum\s+class\s+ExitCode\b", line)]
    if len(starts) != 1:
        raise ManifestError([f"{path}: found {len(starts)} `enum class ExitCode`, expected one: "
                             f"the manifest's return codes are read from it"])
    # The enumerators start after the `{` that ends the enum's line or stands alone on the next.
    first = starts[0] + 1
    if not lines[starts[0]].rstrip().endswith("{"):
        if first >= len(lines) or lines[first].strip() != "{":
            raise ManifestError([f"{path}:{first + 1}: found no `{{` opening `enum class ExitCode`, "
                                 f"expected it at the end of that line or alone on the next"])
        first += 1
    problems, codes = [], []
    for number, line in enumerate(lines[first:], start=first + 1):
        text = line.strip()
        if text == "};":
            break
        if not text or text.startswith("//"):
            continue
        match = ENUMERATOR.fullmatch(line)
        if not match:
            problems.append(f"{path}:{number}: found {text!r}, expected `name = decimal number, // winget: "
                            f"response words`: an exit code without its winget response would be missing from "
                            f"the manifest")
            continue
        name, code, response = match["name"], int(match["number"]), match["response"]
        if response not in RETURN_RESPONSES + (SUCCESS,):
            problems.append(f"{path}:{number}: found winget response {response!r} for {name} = {code}, expected "
                            f"one of winget's ReturnResponse values ({', '.join(RETURN_RESPONSES)}): winget would "
                            f"refuse the manifest")
        elif (code == 0) != (response == SUCCESS):
            problems.append(f"{path}:{number}: found {name} = {code} with response {response!r}, expected "
                            f"{SUCCESS} for 0 and only for 0: winget takes 0, and only 0, as success")
        elif code > 0x7FFFFFFF:
            problems.append(f"{path}:{number}: found {name} = {code}, expected at most {0x7FFFFFFF}: "
                            f"the enumeration's type is int")
        codes.append((name, code, response))
    else:
        problems.append(f"{path}: found no `}};` closing `enum class ExitCode`, expected one")
    seen = {}
    for name, code, _ in codes:
        if code in seen:
            problems.append(f"{path}: found {name} = {code}, the number of {seen[code]} too, expected each number "
                            f"once: winget refuses a return code listed twice, and a code must say one thing")
        seen.setdefault(code, name)
    if not problems and not any(code == 0 for _, code, _ in codes):
        problems.append(f"{path}: found no code 0, expected `success = 0, // winget: {SUCCESS}` first")
    if problems:
        raise ManifestError(problems)
    return codes


def read_identity(path):
    """(display name, version text) of the product the build carries."""
    text = read_text(path, "the Identity.h the build generates (BUILD/generated/Identity.h)")
    constants = dict(m.groups() for m in map(STRING_CONSTANT.fullmatch, text.splitlines()) if m)
    placeholders = [f"{key} = {constants[key]!r}" for key in ("productNameLiteral", "productVersion")
                    if re.fullmatch(r"@\w+@", constants.get(key, ""))]
    if placeholders:
        raise ManifestError([f"{path}: found {', '.join(placeholders)}, expected values: this is the template; "
                             f"pass the header the build makes from it, BUILD/generated/Identity.h"])
    problems = []
    for key, what in (("productNameLiteral", "name"), ("productVersion", "version")):
        value = constants.get(key)
        if value is None:
            problems.append(f"{path}: found no `inline constexpr const char* {key} = \"...\";`, expected one: "
                            f"the package takes the product's {what} from it")
        elif not value:
            problems.append(f"{path}: found {key} empty, expected the product's {what}")
    if problems:
        raise ManifestError(problems)
    try:
        parse_version(constants["productVersion"])
    except ValueError as e:
        raise ManifestError([f"{path}: productVersion: {e}"])
    return display_name(constants["productNameLiteral"]), constants["productVersion"]


def read_exe(path):
    """SHA-256 of the executable, upper-case hex; refused unless it is an
    x86-64 PE image, as the manifest says it is."""
    try:
        image = pe_version.read_file(path)
    except OSError as e:
        raise ManifestError([f"{path}: cannot be read ({e.strerror or e}), expected tsr_installer.exe"])
    except pe_version.PeError as e:
        raise ManifestError([f"{path}: {e}; expected tsr_installer.exe, a 64-bit x86-64 PE image "
                             f"(the Windows build's, not the Linux one)"])
    if not image.is_x64:
        raise ManifestError([f"{path}: found {image.kind}, expected a 64-bit x86-64 image: "
                             f"the manifest offers it as the x64 installer"])
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest().upper()


def yaml_scalar(value):
    """A YAML scalar that reads back as exactly this string or number.

    Plain when nothing in it could be taken for YAML syntax, a number or a
    boolean; single-quoted otherwise (a version such as 3.10 would be read as
    the number 3.1)."""
    if isinstance(value, int):
        return str(value)
    if any(ord(c) < 0x20 or ord(c) == 0x7F for c in value):
        raise ManifestError([f"found {value!r}, expected no control characters in a manifest value"])
    if re.fullmatch(r"[A-Za-z/][A-Za-z0-9/._,=+-]*", value) and \
            value.lower() not in ("y", "n", "yes", "no", "true", "false", "on", "off", "null"):
        return value
    return "'" + value.replace("'", "''") + "'"


def manifest(identifier, version, codes, url, sha256):
    lines = [
        "# Made by tools/make_winget_manifest.py from the build's Identity.h, app/ExitCodes.h and the",
        "# executable: change those and make it again rather than edit it.",
        f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.installer.{MANIFEST_VERSION}.schema.json",
        "",
        f"PackageIdentifier: {yaml_scalar(identifier)}",
        f"PackageVersion: {yaml_scalar(version)}",
        "InstallerType: exe",
        "Scope: machine",
        "InstallModes:",
        "  - interactive",
        "  - silent",
        "  - silentWithProgress",
        "InstallerSwitches:",
        *(f"  {key}: {yaml_scalar(value)}" for key, value in SWITCHES),
        "ExpectedReturnCodes:",
    ]
    for _, code, response in codes:
        if code != 0:
            lines += [f"  - InstallerReturnCode: {code}", f"    ReturnResponse: {response}"]
    lines += [
        "ElevationRequirement: elevatesSelf",
        "Installers:",
        "  - Architecture: x64",
        f"    InstallerUrl: {yaml_scalar(url)}",
        f"    InstallerSha256: {sha256}",
        "ManifestType: installer",
        f"ManifestVersion: {MANIFEST_VERSION}",
    ]
    return "\n".join(lines) + "\n"


def make_manifest(identity, exit_codes, exe, url, publisher="Tessarine", package_identifier=None):
    """The manifest's text; raises ManifestError with every problem found."""
    problems = []

    def read(reader, path):
        try:
            return reader(path)
        except ManifestError as e:
            problems.extend(e.problems)

    product_and_version = read(read_identity, identity)
    codes = read(read_exit_codes, exit_codes)
    sha256 = read(read_exe, exe)
    if not re.fullmatch(r"[Hh][Tt][Tt][Pp][Ss]?://\S+", url):
        problems.append(f"--url {url!r}: expected an http:// or https:// address of the installer, "
                        f"without spaces: winget downloads it from there")
    if problems:
        raise ManifestError(problems)

    product, version = product_and_version
    if package_identifier is None:
        package_identifier = f"{publisher.replace(' ', '')}.{product.replace(' ', '')}"
    if not PACKAGE_IDENTIFIER.fullmatch(package_identifier):
        raise ManifestError([f"package identifier {package_identifier!r}: expected 2 to 8 parts separated by dots, "
                             f"each 1 to 32 characters without spaces or \\ / : * ? \" < > |, as winget requires; "
                             f"give one with --package-identifier"])
    return manifest(package_identifier, version, codes, url, sha256)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--identity", required=True, help="BUILD/generated/Identity.h")
    parser.add_argument("--exit-codes", required=True, help="app/ExitCodes.h")
    parser.add_argument("--exe", required=True, help="the signed tsr_installer.exe the URL serves")
    parser.add_argument("--url", required=True, help="where winget downloads the installer")
    parser.add_argument("--publisher", default="Tessarine",
                        help="first part of the default package identifier (default: Tessarine)")
    parser.add_argument("--package-identifier",
                        help="default: PUBLISHER.PRODUCT, spaces removed, e.g. Tessarine.MySynth")
    args = parser.parse_args(argv)
    try:
        text = make_manifest(args.identity, args.exit_codes, args.exe, args.url, args.publisher,
                             args.package_identifier)
    except ManifestError as e:
        for problem in e.problems:
            print("manifest error:", problem, file=sys.stderr)
        return 1
    sys.stdout.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
