#!/usr/bin/env python3
"""Swaps a folder for a link the moment the first entry inside it is removed,
as a user racing an elevated program's removal would: the folder is renamed
aside (NAME.moved) and a link to TARGET put in its place. Writes READY once it
watches; exits 0 after the swap, 2 when nothing was removed within the time."""
import ctypes
import os
import select
import sys

IN_DELETE = 0x200

def main():
    watched, target, ready, seconds = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])
    libc = ctypes.CDLL("libc.so.6", use_errno=True)
    fd = libc.inotify_init1(0)
    if fd < 0 or libc.inotify_add_watch(fd, watched.encode(), IN_DELETE) < 0:
        print("cannot watch", watched, file=sys.stderr)
        return 1
    open(ready, "w").close()
    readable, _, _ = select.select([fd], [], [], seconds)
    if not readable:
        return 2
    os.rename(watched, watched + ".moved")
    os.symlink(target, watched)
    print("swapped", watched, "for a link to", target)
    return 0

if __name__ == "__main__":
    sys.exit(main())
