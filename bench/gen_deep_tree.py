#!/usr/bin/env python3
"""Generates a deep folder tree for the walk benchmark.

CHAINS chains of DEPTH folders each, every folder name 32 bytes long, so the
paths grow far beyond the system's path limit (4,096 bytes) below level 124.
Every folder of a chain holds one file, and every tenth folder also a side
folder with three files, so the walk comes back to folders deep in a chain
after it has been further down. Everything is made relative to open folder
descriptors, as no path this long can be handed to the system.

A stamp file beside the tree (TREE.stamp) records the parameters; when it
matches, nothing is done. Otherwise the tree is removed and made anew.

Usage: gen_deep_tree.py [TREE] [--chains N] [--depth N]
"""

import argparse
import json
import os
import sys
import time

GENERATOR_VERSION = 1


def remove_below(dir_fd, name):
    """Removes the folder name of dir_fd with everything below it."""
    fd = os.open(name, os.O_RDONLY | os.O_DIRECTORY | os.O_NOFOLLOW, dir_fd=dir_fd)
    try:
        for entry in os.scandir(fd):
            if entry.is_dir(follow_symlinks=False):
                remove_below(fd, entry.name)
            else:
                os.unlink(entry.name, dir_fd=fd)
    finally:
        os.close(fd)
    os.rmdir(name, dir_fd=dir_fd)


def write_file(dir_fd, name, data, mtime):
    fd = os.open(name, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644, dir_fd=dir_fd)
    try:
        os.write(fd, data)
    finally:
        os.close(fd)
    os.utime(name, (mtime, mtime), dir_fd=dir_fd)


def generate(tree, chains, depth):
    os.makedirs(tree)
    top = os.open(tree, os.O_RDONLY | os.O_DIRECTORY)
    mtime = 1262304000  # 2010-01-01 UTC
    try:
        for c in range(chains):
            fd = os.dup(top)
            for level in range(1, depth + 1):
                name = f"chain{c:02d}-level{level:03d}-".ljust(32, "x")
                os.mkdir(name, 0o755, dir_fd=fd)
                nxt = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
                os.close(fd)
                fd = nxt
                write_file(fd, f"file{level:03d}.txt", b"x" * (level % 97), mtime + level)
                if level % 10 == 0:
                    os.mkdir("side", 0o755, dir_fd=fd)
                    side = os.open("side", os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
                    for k in range(3):
                        write_file(side, f"s{k}.dat", b"y" * k, mtime + k)
                    os.close(side)
            os.close(fd)
    finally:
        os.close(top)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("tree", nargs="?", default="/work/benchdata/deep")
    ap.add_argument("--chains", type=int, default=30)
    ap.add_argument("--depth", type=int, default=300)
    args = ap.parse_args()
    tree = os.path.abspath(args.tree)
    params = {"version": GENERATOR_VERSION, "chains": args.chains, "depth": args.depth}
    stamp_path = tree + ".stamp"
    if os.path.isdir(tree) and os.path.exists(stamp_path):
        with open(stamp_path) as f:
            if json.load(f) == params:
                return 0
    if os.path.lexists(tree):
        os.unlink(stamp_path) if os.path.exists(stamp_path) else None
        parent = os.open(os.path.dirname(tree), os.O_RDONLY | os.O_DIRECTORY)
        try:
            remove_below(parent, os.path.basename(tree))
        finally:
            os.close(parent)
    t0 = time.time()
    generate(tree, args.chains, args.depth)
    with open(stamp_path, "w") as f:
        json.dump(params, f)
    print(f"gen_deep_tree: made {tree} ({args.chains} chains of {args.depth} folders) "
          f"in {time.time() - t0:.1f} s", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
