#!/usr/bin/env python3
"""Generates a reproducible file tree for the walk benchmarks.

The same seed and parameters always give the same folders, names, sizes,
modes and time stamps. Small files get real bytes; large ones are made with
truncate, so they are sparse and quick to create. The tree holds hidden files
and folders, symbolic links to files, to folders and to nothing, a few FIFOs,
names with spaces and names in UTF-8 beyond ASCII.

A stamp file beside the tree (TREE.stamp) records the parameters; when it
matches, nothing is done. Otherwise the tree is removed and made anew.

Usage: gen_tree.py [TREE] [--files N] [--folders N] [--max-depth N] [--seed N]
"""

import argparse
import json
import os
import random
import shutil
import sys
import time

GENERATOR_VERSION = 1

WORDS = [
    "bericht", "rechnung", "foto", "urlaub", "projekt", "notizen", "daten", "backup",
    "entwurf", "archiv", "musik", "video", "code", "test", "liste", "brief", "vertrag",
    "plan", "log", "export", "import", "bild", "scan", "tabelle", "vorlage", "kunde",
]
EXTENSIONS = [
    ".txt", ".doc", ".pdf", ".jpg", ".png", ".cpp", ".h", ".py", ".log", ".csv",
    ".xml", ".json", ".zip", ".tar", ".gz", ".mp3", ".odt", ".ods", ".md", "",
]
# Names beyond ASCII: German umlauts, Greek, Cyrillic, CJK.
UNICODE_WORDS = ["Übersicht", "größe", "Ärger", "straße", "Λόγος", "Привет", "日本語", "café"]

# Time stamps spread over 2001..2024, so both zone offsets of the year occur.
T_MIN = 978307200   # 2001-01-01 UTC
T_MAX = 1735689600  # 2025-01-01 UTC


def make_name(rng, used, is_dir):
    """A name unique within its folder: mostly plain, some with spaces,
    a few hidden, a few beyond ASCII."""
    while True:
        r = rng.random()
        if r < 0.01:
            base = rng.choice(UNICODE_WORDS) + " " + rng.choice(WORDS)
        elif r < 0.16:
            base = rng.choice(WORDS) + " " + rng.choice(WORDS)
        else:
            base = rng.choice(WORDS) + "_" + str(rng.randrange(100000))
        if is_dir:
            name = base
            hidden = rng.random() < 0.03
        else:
            name = base + rng.choice(EXTENSIONS)
            hidden = rng.random() < 0.05
        if hidden:
            name = "." + name
        if name not in used:
            used.add(name)
            return name


def file_size(rng):
    """Mostly small files, some medium, a few large (sparse)."""
    r = rng.random()
    if r < 0.05:
        return 0
    if r < 0.80:
        return rng.randrange(1, 4096)
    if r < 0.97:
        return rng.randrange(4096, 1 << 20)
    return rng.randrange(1 << 20, 256 << 20)


def generate(tree, files, folders, max_depth, seed):
    rng = random.Random(seed)

    # Folders: index 0 is the tree itself (depth 0). Every new folder takes a
    # parent either anywhere (which makes deep chains) or near the top (which
    # keeps many shallow folders), so depths from 1 to max_depth all occur.
    parents = [-1]
    depths = [0]
    names = [""]
    used = [set()]
    shallow = [0]
    for i in range(1, folders):
        while True:
            if rng.random() < 0.55:
                p = rng.randrange(len(parents))
            else:
                p = shallow[rng.randrange(len(shallow))]
            if depths[p] < max_depth:
                break
        parents.append(p)
        depths.append(depths[p] + 1)
        names.append(make_name(rng, used[p], True))
        used.append(set())
        if depths[-1] <= 3:
            shallow.append(i)

    paths = [tree]
    for i in range(1, folders):
        paths.append(os.path.join(paths[parents[i]], names[i]))
    for i in range(1, folders):
        os.mkdir(paths[i])

    # Files: each folder gets a weight from a skewed distribution, so most
    # folders hold a few files and some hold hundreds.
    weights = [rng.lognormvariate(0.0, 1.2) for _ in range(folders)]
    owners = rng.choices(range(folders), weights=weights, k=files)

    # Content of small files: one block of bytes, sliced per file.
    block = bytes(rng.randrange(256) for _ in range(4096))
    made_files = []
    for f in range(files):
        folder = owners[f]
        name = make_name(rng, used[folder], False)
        path = os.path.join(paths[folder], name)
        size = file_size(rng)
        mtime = rng.randrange(T_MIN, T_MAX) + rng.randrange(1000) / 1000.0
        readonly = rng.random() < 0.02
        if size <= 4096:
            fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
            try:
                if size:
                    off = f % 4096
                    os.write(fd, (block[off:] + block[:off])[:size])
            finally:
                os.close(fd)
        else:
            fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
            try:
                os.ftruncate(fd, size)
            finally:
                os.close(fd)
        os.utime(path, (mtime, mtime))
        if readonly:
            os.chmod(path, 0o444)
        made_files.append(path)

    # Symbolic links (relative, never followed by the walk): about 0.5 % of
    # the files point at files, some at folders, a few at nothing.
    n_links = max(3, files // 200)
    for k in range(n_links):
        folder = rng.randrange(folders)
        r = rng.random()
        if r < 0.70:
            target = made_files[rng.randrange(len(made_files))]
        elif r < 0.95:
            target = paths[rng.randrange(1, folders)] if folders > 1 else tree
        else:
            target = os.path.join(tree, "nicht vorhanden", str(k))
        rel = os.path.relpath(target, paths[folder])
        name = "link " + make_name(rng, used[folder], False)
        os.symlink(rel, os.path.join(paths[folder], name))

    # A few FIFOs: entries that are neither files, folders nor links.
    for _ in range(max(1, files // 40000)):
        folder = rng.randrange(folders)
        os.mkfifo(os.path.join(paths[folder], "fifo " + make_name(rng, used[folder], False)))

    # Folder times last: creating entries changed them.
    for i in range(folders - 1, 0, -1):
        mtime = rng.randrange(T_MIN, T_MAX)
        os.utime(paths[i], (mtime, mtime))

    hist = {}
    for d in depths[1:]:
        hist[d] = hist.get(d, 0) + 1
    return {"depths": dict(sorted(hist.items())), "links": n_links}


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("tree", nargs="?", default="/work/benchdata/tree")
    ap.add_argument("--files", type=int, default=200000)
    ap.add_argument("--folders", type=int, default=20000)
    ap.add_argument("--max-depth", type=int, default=12)
    ap.add_argument("--seed", type=int, default=20240601)
    args = ap.parse_args()
    if args.folders < 1 or args.files < 1 or args.max_depth < 1:
        ap.error("files, folders and max-depth must be positive")

    tree = os.path.abspath(args.tree)
    stamp_path = tree + ".stamp"
    params = {
        "version": GENERATOR_VERSION, "files": args.files, "folders": args.folders,
        "max_depth": args.max_depth, "seed": args.seed,
    }
    try:
        with open(stamp_path) as f:
            if json.load(f).get("params") == params and os.path.isdir(tree):
                print(f"gen_tree: {tree} is up to date", file=sys.stderr)
                return 0
    except (OSError, ValueError):
        pass

    if os.path.lexists(stamp_path):
        os.remove(stamp_path)
    if os.path.lexists(tree):
        # Read-only files do not stop rmtree (their folders are writable).
        shutil.rmtree(tree)
    os.makedirs(tree)
    started = time.monotonic()
    info = generate(tree, args.files, args.folders, args.max_depth, args.seed)
    with open(stamp_path, "w") as f:
        json.dump({"params": params, "info": info}, f)
        f.write("\n")
    print(f"gen_tree: made {tree} in {time.monotonic() - started:.1f} s, "
          f"folders by depth {info['depths']}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
