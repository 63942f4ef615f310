#!/usr/bin/env python3
"""Times the unattended install, start to exit, against what it is made of.

    python3 bench/verysilent_bench.py build/tsr_installer build/tsr_install_bench [runs]

Each run starts `tsr_installer /VERYSILENT` in a fresh home and waits for its
exit code: all four formats installed, durably. Against it: a bare start of
the same program (a bad switch, refused before any work, exit 1639) plus the
durable install of the same archives in one process, as the install
benchmark measures it in the same command. What the rest costs is mostly
keeping the product's Apps & features entry and a copy of the manager: it is
set beside one durable copy of the executable, timed in the same runs, and
the disk both take is printed. Prints figures, asserts nothing.
"""
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def timed_start(program, args, home):
    env = dict(os.environ, HOME=home, TMPDIR=os.path.join(home, "tmp"))
    env.pop("XDG_DATA_HOME", None)
    env.pop("VST_PATH", None)
    start = time.perf_counter()
    code = subprocess.run([program] + args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    return (time.perf_counter() - start) * 1000.0, code


def fresh_home():
    home = tempfile.mkdtemp(prefix="tsr-bench-")
    os.makedirs(os.path.join(home, "tmp"))
    return home


def main():
    program, bench = sys.argv[1], sys.argv[2]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 9

    silent, bare, copies = [], [], []
    kept_bytes = 0
    for _ in range(runs):
        home = fresh_home()
        os.sync()
        ms, code = timed_start(program, ["/VERYSILENT"], home)
        if code != 0:
            sys.exit(f"/VERYSILENT exited with {code}")
        silent.append(ms)
        kept = os.path.join(home, ".local", "lib")
        entry = os.path.join(home, ".local", "share", "tsr_installer", "uninstall")
        kept_bytes = sum(os.path.getsize(os.path.join(folder, name))
                         for top in (kept, entry) for folder, _, names in os.walk(top) for name in names)

        os.sync()
        start = time.perf_counter()
        copy = os.path.join(home, "copy")
        shutil.copyfile(program, copy)
        with open(copy, "rb+") as f:
            os.fsync(f.fileno())
        copies.append((time.perf_counter() - start) * 1000.0)

        ms, code = timed_start(program, ["/NOSUCHSWITCH"], home)
        if code not in (1639, 1639 % 256):
            sys.exit(f"a bad switch exited with {code}")
        bare.append(ms)
        shutil.rmtree(home)

    output = subprocess.run([bench, str(runs)], capture_output=True, text=True).stdout
    durable = float(re.search(r"durable.*?\s([\d.]+) ms", output).group(1))

    s, b, c = statistics.median(silent), statistics.median(bare), statistics.median(copies)
    print(f"median of {runs} runs")
    print(f"  /VERYSILENT, all four formats, start to exit   {s:7.1f} ms")
    print(f"  bare start (a bad switch, refused)             {b:7.1f} ms")
    print(f"  durable install in one process (bench)         {durable:7.1f} ms")
    print(f"  /VERYSILENT / (bare start + durable install)   {s / (b + durable):7.3f}")
    print(f"  the rest: the entry and the kept manager       {s - b - durable:7.1f} ms")
    print(f"  one durable copy of the executable             {c:7.1f} ms")
    print(f"  disk the entry and the kept manager take       {kept_bytes / 1e6:7.1f} MB")


if __name__ == "__main__":
    main()
