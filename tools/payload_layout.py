"""The shape of a payload folder, shared by the payload tools.

A payload folder for product NAME holds NAME.vst3/ and NAME.aaxplugin/
(bundle folders), NAME.dll and NAME.clap (files) and CHANGELOG.md, the
product's release notes.
"""

import os
import re
import tempfile
from dataclasses import dataclass

CHANGELOG = "CHANGELOG.md"


@dataclass(frozen=True)
class Format:
    label: str               # as the installer names the format
    extension: str
    is_bundle: bool
    binary_inside: tuple     # folders from the bundle to its binary; () for a file item
    archive: str

    def item(self, product):
        return product + self.extension

    def version_source(self, product):
        """Relative path of the binary whose version resource the installer reads."""
        return os.path.join(self.item(product), *self.binary_inside, self.item(product)) \
            if self.is_bundle else self.item(product)


FORMATS = (
    Format("VST3", ".vst3", True, ("Contents", "x86_64-win"), "vst3.zip"),
    Format("VST2", ".dll", False, (), "vst.zip"),
    Format("CLAP", ".clap", False, (), "clap.zip"),
    Format("AAX", ".aaxplugin", True, ("Contents", "x64"), "aax.zip"),
)


def display_name(name):
    """"My_Synth" -> "My Synth": the build's TSR_PRODUCT_NAME writes spaces as
    underscores, and the tools take the name in either form."""
    return name.replace("_", " ")


def parse_version(text):
    """"3.3.0" -> (3, 3, 0, 0): the build names versions by up to four parts."""
    parts = text.split(".")
    if len(parts) > 4 or not all(re.fullmatch(r"[0-9]{1,5}", p) and int(p) <= 0xFFFF for p in parts):
        raise ValueError(f"version {text!r} is not one to four numbers 0..65535 separated by dots")
    return tuple(int(p) for p in parts) + (0,) * (4 - len(parts))


def write_if_changed(path, data):
    """Writes data to path through a temporary file and a rename, unless the
    file already holds exactly these bytes: an untouched file keeps its mtime,
    so the build does not redo what depends on it. Returns whether it wrote."""
    try:
        if os.path.getsize(path) == len(data):
            with open(path, "rb") as f:
                if f.read() == data:
                    return False
    except FileNotFoundError:
        pass
    folder = os.path.dirname(path) or "."
    fd, tmp = tempfile.mkstemp(dir=folder, prefix=os.path.basename(path) + ".", suffix=".tmp")
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
        os.chmod(tmp, 0o644)     # mkstemp makes it private; the others the build writes are not
        os.replace(tmp, path)
    except BaseException:
        try:
            os.unlink(tmp)
        except FileNotFoundError:
            pass
        raise
    return True
