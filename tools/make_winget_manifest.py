#!/usr/bin/env python3
"""Writes the winget manifest of a built tsr_installer.exe: the three files of
a multi-file manifest (version, default locale, installer), in the folder
layout of winget's community repository,
manifests/<letter>/<Publisher>/<Package>/<version>/.

Everything the program decides is read from the program's own sources, so the
manifest cannot drift from it: the product's name, version, maker and the
ProductCode of its Apps & features entry from the Identity.h the build
generates, the exit codes and what they tell winget from app/ExitCodes.h, and
the SHA-256 from the executable itself. A line of ExitCodes.h that does not
read as `name = number, // winget: response words`, a response winget does not
know, or a value that breaks a rule of winget's manifest schema (a required
field, an enumeration, a pattern, a length) refuses the manifest (exit status
1) rather than write one winget would reject.

Usage: make_winget_manifest.py --identity BUILD/generated/Identity.h --exit-codes app/ExitCodes.h
                               --exe BUILD/tsr_installer.exe --url https://.../tsr_installer.exe
                               --license "Proprietary" --short-description "..." [--out FOLDER]
                               [--publisher-url URL] [--package-url URL] [--license-url URL]
                               [--privacy-url URL] [--publisher Tessarine] [--package-identifier Tessarine.MySynth]
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
    """{name, version, maker, code} of the product the build carries: its display
    name and version, who makes it, and the ProductCode of its Apps & features entry."""
    text = read_text(path, "the Identity.h the build generates (BUILD/generated/Identity.h)")
    constants = dict(m.groups() for m in map(STRING_CONSTANT.fullmatch, text.splitlines()) if m)
    keys = (("productNameLiteral", "name"), ("productVersion", "version"), ("maker", "maker"),
            ("productCode", "Apps & features entry's ProductCode"))
    placeholders = [f"{key} = {constants[key]!r}" for key, _ in keys if re.fullmatch(r"@\w+@", constants.get(key, ""))]
    if placeholders:
        raise ManifestError([f"{path}: found {', '.join(placeholders)}, expected values: this is the template; "
                             f"pass the header the build makes from it, BUILD/generated/Identity.h"])
    problems = []
    for key, what in keys:
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
    return {"name": display_name(constants["productNameLiteral"]), "version": constants["productVersion"],
            "maker": constants["maker"], "code": constants["productCode"]}


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


# The rules of winget's manifest schemas (1.6.0) that these manifests meet:
# required fields, enumerations, patterns and lengths, per manifest type.
_PART = r'[^.\s\\/:*?"<>|\x01-\x1f]{1,32}'
URL_RULE = (r"[Hh][Tt][Tt][Pp][Ss]?://.+", 1, 2048)
FIELD_RULES = {
    "PackageIdentifier": (rf"{_PART}(\.{_PART}){{1,7}}", 1, 128),
    "PackageVersion": (r'[^\\/:*?"<>|\x01-\x1f]+', 1, 128),
    "PackageLocale": (r"([a-zA-Z]{2,3}|[iI]-[a-zA-Z]+|[xX]-[a-zA-Z]{1,8})(-[a-zA-Z]{1,8})*", 1, 20),
    "DefaultLocale": (r"([a-zA-Z]{2,3}|[iI]-[a-zA-Z]+|[xX]-[a-zA-Z]{1,8})(-[a-zA-Z]{1,8})*", 1, 20),
    "ManifestVersion": (r"(0|[1-9][0-9]{0,3}|[1-5][0-9]{4}|6[0-4][0-9]{3}|65[0-4][0-9]{2}|655[0-2][0-9]|6553[0-5])"
                        r"(\.(0|[1-9][0-9]{0,3}|[1-5][0-9]{4}|6[0-4][0-9]{3}|65[0-4][0-9]{2}|655[0-2][0-9]|6553[0-5])){2}", 1, 20),
    "Publisher": (None, 2, 256), "PackageName": (None, 2, 256), "License": (None, 3, 512),
    "ShortDescription": (None, 3, 256),
    "PublisherUrl": URL_RULE, "PackageUrl": URL_RULE, "LicenseUrl": URL_RULE, "PrivacyUrl": URL_RULE,
    "PublisherSupportUrl": URL_RULE, "InstallerUrl": URL_RULE,
    "InstallerSha256": (r"[A-Fa-f0-9]{64}", 64, 64),
    "ProductCode": (None, 1, 255), "DisplayName": (None, 1, 256), "DisplayVersion": (None, 1, 128),
}
ENUMS = {
    "ManifestType": ("version", "defaultLocale", "locale", "installer", "singleton"),
    "InstallerType": ("msix", "msi", "appx", "exe", "zip", "inno", "nullsoft", "wix", "burn", "pwa", "portable"),
    "Scope": ("user", "machine"),
    "Architecture": ("x86", "x64", "arm", "arm64", "neutral"),
    "ElevationRequirement": ("elevationRequired", "elevationProhibited", "elevatesSelf"),
    "InstallModes": ("interactive", "silent", "silentWithProgress"),
    "ReturnResponse": RETURN_RESPONSES,
}
REQUIRED = {
    "version": ("PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType", "ManifestVersion"),
    "defaultLocale": ("PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher", "PackageName", "License",
                      "ShortDescription", "ManifestType", "ManifestVersion"),
    "installer": ("PackageIdentifier", "PackageVersion", "Installers", "ManifestType", "ManifestVersion"),
    "Installers": ("Architecture", "InstallerUrl", "InstallerSha256"),
}


def schema_problems(manifest_type, fields):
    """Every rule of the schema the fields break, one message each."""
    problems = [f"{manifest_type} manifest: found no {key}, expected one: winget requires it"
                for key in REQUIRED[manifest_type] if key not in fields]
    for number, installer in enumerate(fields.get("Installers", []), start=1):
        problems += [f"{manifest_type} manifest: installer {number} has no {key}, expected one: winget requires it"
                     for key in REQUIRED["Installers"] if key not in installer]
    return problems + field_problems(fields, f"{manifest_type} manifest: ")


def field_problems(fields, where):
    problems = []

    def check(key, value):
        if key in ENUMS and value not in ENUMS[key]:
            problems.append(f"{where}{key}: found {value!r}, expected one of {', '.join(ENUMS[key])}")
        rule = FIELD_RULES.get(key)
        if rule and isinstance(value, str):
            pattern, shortest, longest = rule
            if not shortest <= len(value) <= longest:
                problems.append(f"{where}{key}: found {len(value)} characters, expected {shortest} to {longest}")
            elif pattern and not re.fullmatch(pattern, value):
                problems.append(f"{where}{key}: found {value!r}, which does not match winget's pattern for it")

    for key, value in fields.items():
        if isinstance(value, dict):
            problems += field_problems(value, f"{where}{key}: ")
        elif isinstance(value, list):
            for item in value:
                if isinstance(item, dict):
                    problems += field_problems(item, f"{where}{key}: ")
                else:
                    check(key, item)
        else:
            check(key, value)
    return problems


def render(fields, indent=""):
    """YAML for the fields: scalars, lists of scalars and lists of mappings."""
    lines = []
    for key, value in fields.items():
        if isinstance(value, list):
            lines.append(f"{indent}{key}:")
            for item in value:
                if isinstance(item, dict):
                    first, *rest = render(item, indent + "    ")
                    lines += [f"{indent}  - {first.strip()}"] + rest
                else:
                    lines.append(f"{indent}  - {yaml_scalar(item)}")
        elif isinstance(value, dict):
            lines += [f"{indent}{key}:"] + render(value, indent + "  ")
        else:
            lines.append(f"{indent}{key}: {yaml_scalar(value)}")
    return lines


def manifests(identifier, product, codes, url, sha256, details):
    """{manifest type: fields} of the three files, in winget's field order."""
    common = {"PackageIdentifier": identifier, "PackageVersion": product["version"]}
    locale = details.get("locale") or "en-US"
    version = {**common, "DefaultLocale": locale, "ManifestType": "version", "ManifestVersion": MANIFEST_VERSION}
    default_locale = {**common, "PackageLocale": locale, "Publisher": details.get("publisher_name") or product["maker"]}
    for key, option in (("PublisherUrl", "publisher_url"), ("PublisherSupportUrl", "support_url"),
                        ("PrivacyUrl", "privacy_url")):
        if details.get(option):
            default_locale[key] = details[option]
    default_locale["PackageName"] = details.get("package_name") or product["name"]
    if details.get("package_url"):
        default_locale["PackageUrl"] = details["package_url"]
    default_locale["License"] = details.get("license") or ""
    if details.get("license_url"):
        default_locale["LicenseUrl"] = details["license_url"]
    default_locale["ShortDescription"] = details.get("short_description") or ""
    default_locale.update({"ManifestType": "defaultLocale", "ManifestVersion": MANIFEST_VERSION})

    installer = {**common, "InstallerType": "exe", "Scope": "machine",
                 "InstallModes": ["interactive", "silent", "silentWithProgress"],
                 "InstallerSwitches": dict(SWITCHES),
                 "ExpectedReturnCodes": [{"InstallerReturnCode": code, "ReturnResponse": response}
                                         for _, code, response in codes if code != 0],
                 "ElevationRequirement": "elevatesSelf",
                 # What the installed product's Apps & features entry says, so
                 # that winget finds it installed, and its version.
                 "AppsAndFeaturesEntries": [{"DisplayName": product["name"], "Publisher": product["maker"],
                                             "DisplayVersion": product["version"], "ProductCode": product["code"]}],
                 "Installers": [{"Architecture": "x64", "InstallerUrl": url, "InstallerSha256": sha256}],
                 "ManifestType": "installer", "ManifestVersion": MANIFEST_VERSION}
    return {"version": version, "defaultLocale": default_locale, "installer": installer}


FILE_SUFFIX = {"version": "", "defaultLocale": ".locale.{locale}", "installer": ".installer"}


def text_of(manifest_type, fields):
    schema = {"version": "version", "defaultLocale": "defaultLocale", "installer": "installer"}[manifest_type]
    return "\n".join([
        "# Made by tools/make_winget_manifest.py from the build's Identity.h, app/ExitCodes.h and the",
        "# executable: change those and make it again rather than edit it.",
        f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.{schema}.{MANIFEST_VERSION}.schema.json",
        "",
        *render(fields),
    ]) + "\n"


def make_manifest(identity, exit_codes, exe, url, publisher="Tessarine", package_identifier=None, **details):
    """{file name: text} of the three files; raises ManifestError with every problem found."""
    problems = []

    def read(reader, path):
        try:
            return reader(path)
        except ManifestError as e:
            problems.extend(e.problems)

    product = read(read_identity, identity)
    codes = read(read_exit_codes, exit_codes)
    sha256 = read(read_exe, exe)
    if not re.fullmatch(r"[Hh][Tt][Tt][Pp][Ss]?://\S+", url):
        problems.append(f"--url {url!r}: expected an http:// or https:// address of the installer, "
                        f"without spaces: winget downloads it from there")
    if problems:
        raise ManifestError(problems)

    if package_identifier is None:
        package_identifier = f"{publisher.replace(' ', '')}.{product['name'].replace(' ', '')}"
    if not PACKAGE_IDENTIFIER.fullmatch(package_identifier):
        raise ManifestError([f"package identifier {package_identifier!r}: expected 2 to 8 parts separated by dots, "
                             f"each 1 to 32 characters without spaces or \\ / : * ? \" < > |, as winget requires; "
                             f"give one with --package-identifier"])

    files = {}
    for manifest_type, fields in manifests(package_identifier, product, codes, url, sha256, details).items():
        problems += schema_problems(manifest_type, fields)
        suffix = FILE_SUFFIX[manifest_type].format(locale=fields.get("PackageLocale", ""))
        files[f"{package_identifier}{suffix}.yaml"] = text_of(manifest_type, fields)
    if problems:
        raise ManifestError(problems + ["give the default locale's values with --license and --short-description"]
                            if any("License" in p or "ShortDescription" in p for p in problems) else problems)
    return files


def repository_folder(out, package_identifier, version):
    """Where winget's community repository keeps these files."""
    parts = package_identifier.split(".")
    return os.path.join(out, "manifests", parts[0][0].lower(), *parts, version)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--identity", required=True, help="BUILD/generated/Identity.h")
    parser.add_argument("--exit-codes", required=True, help="app/ExitCodes.h")
    parser.add_argument("--exe", required=True, help="the signed tsr_installer.exe the URL serves")
    parser.add_argument("--url", required=True, help="where winget downloads the installer")
    parser.add_argument("--out", default=".", help="where the manifests/ folder is written (default: here)")
    parser.add_argument("--license", help='the licence, as the default locale shows it, e.g. "Proprietary"')
    parser.add_argument("--short-description", help="one line on the product, 3 to 256 characters")
    parser.add_argument("--publisher-name", help="the publisher as shown (default: the maker the build names)")
    parser.add_argument("--package-name", help="the package as shown (default: the product's name)")
    parser.add_argument("--locale", default="en-US", help="the default locale (default: en-US)")
    for option in ("publisher-url", "support-url", "privacy-url", "package-url", "license-url"):
        parser.add_argument("--" + option, help="an https:// address for the default locale")
    parser.add_argument("--publisher", default="Tessarine",
                        help="first part of the default package identifier (default: Tessarine)")
    parser.add_argument("--package-identifier",
                        help="default: PUBLISHER.PRODUCT, spaces removed, e.g. Tessarine.MySynth")
    args = parser.parse_args(argv)
    details = {key: getattr(args, key) for key in ("license", "short_description", "publisher_name", "package_name",
                                                    "locale", "publisher_url", "support_url", "privacy_url",
                                                    "package_url", "license_url")}
    try:
        files = make_manifest(args.identity, args.exit_codes, args.exe, args.url, args.publisher,
                              args.package_identifier, **details)
    except ManifestError as e:
        for problem in e.problems:
            print("manifest error:", problem, file=sys.stderr)
        return 1
    identifier = next(iter(files))[:-len(".yaml")]
    version = read_identity(args.identity)["version"]
    folder = repository_folder(args.out, identifier, version)
    os.makedirs(folder, exist_ok=True)
    for name, text in files.items():
        with open(os.path.join(folder, name), "w", encoding="utf-8", newline="\n") as f:
            f.write(text)
        print(os.path.join(folder, name))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
