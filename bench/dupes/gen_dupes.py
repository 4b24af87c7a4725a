#!/usr/bin/env python3
"""Generates a reproducible tree for the duplicate benchmarks.

The same seed always gives the same folders, names and bytes:
- groups of two to fifty byte-for-byte copies, of sizes from 1 KB to 40 MB,
  spread over the folders;
- beside many groups, files of the same size but other content: random,
  differing from the copies only in their last one to three bytes, or only
  in their first block;
- unique files of every size, and small files below 1000 bytes, some of
  them identical;
- hard links to some of the copies and of the unique files.

A stamp file beside the tree (TREE.stamp) records the parameters; when it
matches, nothing is done.

Usage: gen_dupes.py TREE [--seed N] [--scale F]
"""

import argparse
import json
import os
import random
import shutil
import sys
import time

VERSION = 2
WORDS = ["bericht", "foto", "urlaub", "projekt", "daten", "backup", "archiv", "musik", "video",
         "scan", "kopie", "entwurf", "Übersicht", "größe", "straße", "vorlage"]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("tree")
    ap.add_argument("--seed", type=int, default=20261210)
    ap.add_argument("--scale", type=float, default=1.0)
    a = ap.parse_args()
    stamp = a.tree + ".stamp"
    params = {"version": VERSION, "seed": a.seed, "scale": a.scale}
    if os.path.isdir(a.tree) and os.path.exists(stamp):
        with open(stamp) as f:
            if json.load(f) == params:
                return
    if os.path.exists(a.tree):
        shutil.rmtree(a.tree)
    t0 = time.time()
    rng = random.Random(a.seed)
    folders = [""]
    for i in range(int(800 * a.scale)):
        parent = rng.choice(folders)
        folders.append(os.path.join(parent, f"{rng.choice(WORDS)}_{i}"))
    for f in folders:
        os.makedirs(os.path.join(a.tree, f), exist_ok=True)
    used = set()
    counter = [0]

    def place(ext=".bin"):
        while True:
            counter[0] += 1
            p = os.path.join(a.tree, rng.choice(folders), f"{rng.choice(WORDS)}_{counter[0]}{ext}")
            if p not in used:
                used.add(p)
                return p

    def write(path, data):
        with open(path, "wb") as f:
            f.write(data)

    total = 0
    files = 0
    copies = []
    n_groups = int(700 * a.scale)
    for g in range(n_groups):
        r = rng.random()
        if r < 0.02:
            size = rng.randrange(10 << 20, 40 << 20)
            count = rng.randrange(2, 4)
        elif r < 0.2:
            size = rng.randrange(256 << 10, 4 << 20)
            count = rng.randrange(2, 8)
        else:
            size = rng.randrange(1000, 256 << 10)
            count = rng.randrange(2, 51) if rng.random() < 0.3 else rng.randrange(2, 6)
        data = rng.randbytes(size)
        for _ in range(count):
            p = place()
            write(p, data)
            copies.append(p)
            total += size
            files += 1
        # Decoys of the same size.
        if rng.random() < 0.6:
            for _ in range(rng.randrange(1, 6)):
                kind = rng.random()
                if kind < 0.35:
                    d = rng.randbytes(size)
                elif kind < 0.7:
                    k = rng.randrange(1, 4)
                    d = data[:-k] + bytes((b + 1) & 0xFF for b in data[-k:])
                else:
                    k = min(size, 4096)
                    d = rng.randbytes(k) + data[k:]
                write(place(), d)
                total += size
                files += 1
    # Unique files of all sizes, and small ones.
    for i in range(int(11000 * a.scale)):
        size = int(rng.expovariate(1 / 40000)) + 1
        write(place(".dat"), rng.randbytes(size))
        total += size
        files += 1
    small = [rng.randbytes(rng.randrange(1, 1000)) for _ in range(200)]
    for i in range(int(2000 * a.scale)):
        d = rng.choice(small) if rng.random() < 0.5 else rng.randbytes(rng.randrange(0, 1000))
        write(place(".txt"), d)
        total += len(d)
        files += 1
    # Hard links.
    for i in range(int(300 * a.scale)):
        src = rng.choice(copies)
        os.link(src, place(".lnk"))
        files += 1
    with open(stamp, "w") as f:
        json.dump(params, f)
    print(f"gen_dupes: {files} files, {total / 1e9:.2f} GB in {len(folders)} folders, "
          f"{time.time() - t0:.1f} s", file=sys.stderr)


if __name__ == "__main__":
    main()
