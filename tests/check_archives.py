#!/usr/bin/env python3
"""Checks the built payload archives with tools other than the program's own:
Info-ZIP's listing and extraction, and Python's zip reader."""

import os
import subprocess
import sys
import tempfile
import zipfile

EXPECTED = {
    "vst3.zip": ["Vantorix3.vst3\\Contents\\",
                 "Vantorix3.vst3\\Contents\\Resources\\moduleinfo.json",
                 "Vantorix3.vst3\\Contents\\x86_64-win\\Vantorix3.vst3"],
    "vst.zip": ["Vantorix3.dll"],
    "clap.zip": ["Vantorix3.clap"],
    "aax.zip": ["Vantorix3.aaxplugin\\Contents\\",
                "Vantorix3.aaxplugin\\desktop.ini",
                "Vantorix3.aaxplugin\\Plugin.ico",
                "Vantorix3.aaxplugin\\Contents\\x64\\Vantorix3.aaxplugin"],
}
TOP_LEVEL = {"vst3.zip": "Vantorix3.vst3", "vst.zip": "Vantorix3.dll",
             "clap.zip": "Vantorix3.clap", "aax.zip": "Vantorix3.aaxplugin"}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def main(payload_dir):
    for archive, entries in EXPECTED.items():
        path = os.path.join(payload_dir, archive)
        listed = subprocess.run(["unzip", "-Z1", path], capture_output=True, text=True, check=True).stdout.splitlines()
        check(listed == entries, f"{archive}: unzip lists {listed}")

        with zipfile.ZipFile(path) as zf:
            infos = zf.infolist()
            check([i.filename for i in infos] == entries, f"{archive}: zipfile lists {[i.filename for i in infos]}")
            for info in infos:
                is_folder = info.filename.endswith("\\")
                check(info.compress_type == (zipfile.ZIP_STORED if is_folder else zipfile.ZIP_DEFLATED),
                      f"{archive}: {info.filename} has method {info.compress_type}")
                check(not is_folder or info.file_size == 0, f"{archive}: folder entry {info.filename} has data")
                check(info.date_time == (2026, 11, 2, 12, 0, 0), f"{archive}: {info.filename} time {info.date_time}")
            check(zf.testzip() is None, f"{archive}: a CRC does not match")

        with tempfile.TemporaryDirectory() as target:
            # Exit status 1 is Info-ZIP's warning that the names use backslashes.
            status = subprocess.run(["unzip", "-q", "-o", path, "-d", target], stderr=subprocess.DEVNULL).returncode
            check(status in (0, 1), f"{archive}: unzip failed with {status}")
            check(os.listdir(target) == [TOP_LEVEL[archive]], f"{archive}: unzip extracts {os.listdir(target)}")

    for failure in failures:
        print("FAIL:", failure)
    failed_archives = {failure.split(":")[0] for failure in failures}
    print(f"{len(EXPECTED) - len(failed_archives)} passed, {len(failed_archives)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
