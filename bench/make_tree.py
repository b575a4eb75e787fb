#!/usr/bin/env python3
"""Fills a folder with a temporary folder's worth of clutter for the Wine benchmarks.

Usage: make_tree.py FOLDER FILES [SEED]

Empties FOLDER, then writes FILES files of mixed sizes into nested folders below
it, breadth first: each folder gets 5 to 60 files and 0 to 4 subfolders until
the count is reached. A few folders deeper down have GUID-shaped names, and
three such folders at the top hold 20 files each more (a cleaner of the
temporary folder keeps those). About 1 file in 100 is read-only. The files are
sparse, so the sizes (0 to 16 MB, most below 64 KB) cost no disk space. The
same FILES and SEED always give the same tree. Prints one line: what was made.
"""
import os
import random
import shutil
import stat
import sys


def guid_name(rng):
    groups = (8, 4, 4, 4, 12)
    return "{" + "-".join("".join(rng.choice("0123456789ABCDEF") for _ in range(n))
                          for n in groups) + "}"


def file_name(rng, index):
    kind = rng.randrange(5)
    if kind == 0:
        return "~DF%04X%04X.tmp" % (index & 0xFFFF, rng.randrange(0x10000))
    if kind == 1:
        return "tmp%d.tmp" % index
    if kind == 2:
        return "setup_%d_%04d.log" % (index, rng.randrange(10000))
    if kind == 3:
        return "Cache_%08X.dat" % index
    return "Microsoft.Windows.Update.Package.%d.%08X.cab" % (index, rng.randrange(1 << 32))


def file_size(rng):
    bucket = rng.randrange(100)
    if bucket < 70:
        return rng.randrange(64 << 10)
    if bucket < 95:
        return (64 << 10) + rng.randrange(1 << 20)
    return (1 << 20) + rng.randrange(15 << 20)


def write_file(path, size, read_only):
    descriptor = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    try:
        if size:
            os.ftruncate(descriptor, size)
    finally:
        os.close(descriptor)
    if read_only:
        os.chmod(path, stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)


def empty(folder):
    os.makedirs(folder, exist_ok=True)
    for entry in os.scandir(folder):
        if entry.is_dir(follow_symlinks=False):
            shutil.rmtree(entry.path)
        else:
            os.unlink(entry.path)


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    top, files = sys.argv[1], int(sys.argv[2])
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) == 4 else 1)
    empty(top)

    counter = 0
    made_files = made_folders = total_bytes = kept_bytes = depth = 0
    for _ in range(3):
        kept = os.path.join(top, guid_name(rng))
        os.mkdir(kept)
        for _ in range(20):
            size = file_size(rng)
            counter += 1
            write_file(os.path.join(kept, file_name(rng, counter)), size, False)
            kept_bytes += size

    queue = [(top, 0)]
    position = 0
    while made_files < files:
        if position == len(queue):  # only empty folders left: start below the top again
            queue.append((top, 0))
        folder, level = queue[position]
        position += 1
        depth = max(depth, level)
        for _ in range(min(rng.randint(5, 60), files - made_files)):
            counter += 1
            size = file_size(rng)
            write_file(os.path.join(folder, file_name(rng, counter)), size,
                       rng.randrange(100) == 0)
            made_files += 1
            total_bytes += size
        if made_files == files:
            break
        for _ in range(rng.randint(0, 4) if level < 8 else 0):
            counter += 1
            name = guid_name(rng) if level > 0 and rng.randrange(50) == 0 else "dir%d" % counter
            child = os.path.join(folder, name)
            os.mkdir(child)
            made_folders += 1
            queue.append((child, level + 1))

    print("%d files in %d folders, %d levels deep, %d bytes to delete; "
          "3 GUID-shaped folders at the top keep 60 files, %d bytes"
          % (made_files, made_folders, depth + 1, total_bytes, kept_bytes))


if __name__ == "__main__":
    main()
