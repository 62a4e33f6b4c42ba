#!/usr/bin/env python3
"""Generates and changes the source trees the engine benchmark backs up.

  make_tree.py tree DIR FILES [LARGE_FILES] [LARGE_MIB] [MAX_SMALL_BYTES]
      FILES small files (sizes spread up to MAX_SMALL_BYTES, about a hundred per folder, two folder
      levels) plus LARGE_FILES files of LARGE_MIB MiB each.
  make_tree.py change DIR PERCENT SEED
      Rewrites PERCENT percent of the small files (a different choice for each SEED) with new content
      and a new last-write time, as a day of editing would.
"""

import os
import random
import sys
import time

PER_FOLDER = 100


def small_path(root, index):
    group = index // PER_FOLDER
    return os.path.join(root, "d%03d" % (group // 100), "d%02d" % (group % 100), "f%07d.dat" % index)


def make_tree(root, files, large_files, large_mib, max_small):
    rng = random.Random(1)
    made = set()
    for index in range(files):
        path = small_path(root, index)
        folder = os.path.dirname(path)
        if folder not in made:
            os.makedirs(folder, exist_ok=True)
            made.add(folder)
        # Mostly small files with a long tail, as documents and source trees have.
        size = min(int(rng.expovariate(4.0 / max_small)), max_small) if max_small > 0 else 0
        with open(path, "wb") as out:
            out.write(os.urandom(size))
    large = os.path.join(root, "large")
    os.makedirs(large, exist_ok=True)
    chunk = os.urandom(1 << 20)
    for index in range(large_files):
        with open(os.path.join(large, "big%02d.bin" % index), "wb") as out:
            for mib in range(large_mib):
                # Each MiB differs, so no file system can share or compress the blocks.
                out.write(mib.to_bytes(8, "little") + chunk[8:])


def change_tree(root, percent, seed):
    files = sum(1 for _ in scan(root))
    rng = random.Random(seed)
    count = max(1, files * percent // 100)
    when = time.time() + seed
    for index in rng.sample(range(files), count):
        path = small_path(root, index)
        with open(path, "wb") as out:
            out.write(os.urandom(rng.randint(1, 4096)))
        os.utime(path, (when, when))
    return count


def scan(root):
    for top, _, names in os.walk(root):
        if os.path.basename(top) == "large":
            continue
        for name in names:
            if name.startswith("f") and name.endswith(".dat"):
                yield os.path.join(top, name)


def main(argv):
    if len(argv) >= 3 and argv[1] == "tree":
        files = int(argv[3])
        make_tree(argv[2], files, int(argv[4]) if len(argv) > 4 else 0, int(argv[5]) if len(argv) > 5 else 0,
                  int(argv[6]) if len(argv) > 6 else 8192)
        return 0
    if len(argv) == 5 and argv[1] == "change":
        print(change_tree(argv[2], int(argv[3]), int(argv[4])))
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
