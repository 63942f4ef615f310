#!/usr/bin/python3
"""Process start to first painted frame, for the installer and for a minimal
JUCE window app of the same build, each started several times on the X server
of the caller (run under xvfb-run). A frame counts as painted when the pixel
at (300, 2) of the window shows the accent bar's blue.

Usage: startup_bench.py INSTALLER MINIMAL_APP [RUNS]"""

import os
import statistics
import subprocess
import sys
import tempfile
import time
from Xlib import X, display

BLUE = (0x00, 0x94, 0xD8)


def find_window(d, name):
    """The top-level window whose class is the application's name (JUCE writes
    WM_NAME as UTF8_STRING, which the Xlib module does not decode)."""
    for window in d.screen().root.query_tree().children:
        try:
            if name in (window.get_wm_class() or ()):
                return window
        except Exception:
            pass
    return None


def time_to_first_frame(d, command, name, arguments=()):
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, HOME=home, TMPDIR=home)
        start = time.perf_counter()
        process = subprocess.Popen([command, *arguments], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            window = None
            while time.perf_counter() - start < 30:
                if window is None:
                    window = find_window(d, name)
                if window is not None:
                    try:
                        raw = window.get_image(300, 2, 1, 1, X.ZPixmap, 0xFFFFFFFF).data
                        if (raw[2], raw[1], raw[0]) == BLUE:
                            return time.perf_counter() - start
                    except Exception:
                        window = None      # not mapped yet, or replaced: JUCE recreates it for the native title bar
                time.sleep(0.002)
            raise RuntimeError(f"{name}: no painted frame within 30 s")
        finally:
            process.kill()
            process.wait()


def main(installer, minimal, runs):
    # One connection for the whole run: Xvfb resets when its last client
    # leaves and refuses connections meanwhile, and it forgets the atoms.
    d = display.Display()
    d.intern_atom("WM_PROTOCOLS")       # see tests/e2e/close_window.py
    results = {}
    cases = (("tsr_installer", installer, "tsr_installer", ()),
             ("minimal JUCE window", minimal, "minimal_window", ()),
             ("minimal, one line of text", minimal, "minimal_window", ("--text",)))
    for label, command, name, arguments in cases:
        results[label] = [time_to_first_frame(d, command, name, arguments) for _ in range(runs)]
    print(f"process start to first painted frame, median of {runs} runs")
    for label, times in results.items():
        print(f"  {label:26s} {1000 * statistics.median(times):7.1f} ms   (min {1000 * min(times):.1f}, max {1000 * max(times):.1f})")
    ours = statistics.median(results["tsr_installer"])
    for baseline in ("minimal JUCE window", "minimal, one line of text"):
        print(f"  tsr_installer / {baseline}: {ours / statistics.median(results[baseline]):.2f}")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else 7)
