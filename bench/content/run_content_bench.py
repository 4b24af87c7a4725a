#!/usr/bin/env python3
"""Content phrase search: the finder against grep and ripgrep.

Generates (once) a reproducible tree of text files of about --size-mb
megabytes, then times, with a warm page cache, the finder with a content
phrase (trawlix_contentbench), `grep -rlF` and `rg -l -F -j1`, each
case-sensitive and ignoring case (-i), for a phrase that occurs in 1% of the
files and one that occurs in none. Every tool runs --runs times per case,
interleaved round by round; the median counts. The set of files each tool
lists is checked against grep's.

The text is German-like words (a few with umlauts) in lines of about 70
characters. Of the files, 1% hold the phrase PRESENT as written, and another
0.5% hold it in other letter case only (found only when ignoring case).

A stamp file beside the tree records the parameters; when it matches, the
tree is not made again.

The times are medians of the wall-clock times, and in parentheses medians
of the CPU times (user + system) of the same runs.

Usage: run_content_bench.py --driver PATH [--data DIR] [--size-mb N]
                            [--seed N] [--runs N] [--locale NAME]
                            [--kernel portable|sse2|avx2]
"""

import argparse
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

GENERATOR_VERSION = 1
PRESENT = "Zephyr Quarzuhr"
OTHER_CASE = ["ZEPHYR QUARZUHR", "zephyr quarzuhr", "Zephyr QUARZUHR"]
ABSENT = "Xylophon Nebelkrähe"

SYLLABLES = [
    "ber", "richt", "rech", "nung", "ur", "laub", "pro", "jekt", "no", "tiz", "da", "ten",
    "ent", "wurf", "ar", "chiv", "mu", "sik", "li", "ste", "brief", "ver", "trag", "plan",
    "ta", "bel", "le", "vor", "la", "ge", "kun", "de", "haus", "gar", "ten", "wald", "weg",
    "stra", "ße", "grö", "ße", "ä", "ö", "ü", "mit", "und", "der", "die", "das", "ein",
    "ist", "nicht", "auch", "mann", "frau", "kind", "zeit", "jahr", "tag", "hand", "welt",
    "stadt", "land", "fluss", "berg", "see", "meer", "licht", "nacht", "mor", "gen",
]
PUNCT = [" ", " ", " ", " ", " ", " ", ", ", ". ", "; ", " - ", ": "]


def make_corpus(rng, size):
    """About `size` bytes of German-like text in lines of ~70 characters."""
    words = []
    for _ in range(6000):
        n = rng.choice([1, 2, 2, 3, 3, 4])
        w = "".join(rng.choice(SYLLABLES) for _ in range(n))
        if rng.random() < 0.3:
            w = w.capitalize()
        words.append(w)
    out = []
    total = 0
    line = 0
    while total < size:
        w = rng.choice(words) + rng.choice(PUNCT)
        out.append(w)
        total += len(w.encode())
        line += len(w)
        if line > 70:
            out.append("\n")
            total += 1
            line = 0
    return "".join(out).encode()


def generate(root, size_mb, seed):
    stamp_path = root.rstrip("/") + ".stamp"
    params = {"version": GENERATOR_VERSION, "size_mb": size_mb, "seed": seed}
    if os.path.isdir(root) and os.path.exists(stamp_path):
        with open(stamp_path) as f:
            if json.load(f) == params:
                return
    if os.path.exists(root):
        shutil.rmtree(root)
    rng = random.Random(seed)
    corpus = make_corpus(rng, 16 << 20)
    target = size_mb * 1000 * 1000
    total = 0
    index = 0
    t0 = time.time()
    while total < target:
        # Sizes spread log-uniformly from 1 KB to 512 KB.
        size = int(2 ** rng.uniform(10, 19))
        start = rng.randrange(0, len(corpus) - size)
        data = bytearray(corpus[start:start + size])
        roll = rng.random()
        if roll < 0.01:
            insert = PRESENT
        elif roll < 0.015:
            insert = rng.choice(OTHER_CASE)
        else:
            insert = None
        if insert:
            pos = rng.randrange(0, len(data))
            data[pos:pos] = (" " + insert + " ").encode()
        folder = os.path.join(root, "d%02d" % (index % 37), "e%02d" % (index % 11))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "text%06d.txt" % index), "wb") as f:
            f.write(data)
        total += len(data)
        index += 1
    with open(stamp_path, "w") as f:
        json.dump(params, f)
    print("generated %d files, %.1f MB in %.1f s" % (index, total / 1e6, time.time() - t0),
          file=sys.stderr)


def run(cmd, env, out_path):
    """Runs cmd; returns (wall seconds, CPU seconds user + system)."""
    with open(out_path, "wb") as out:
        t = time.perf_counter()
        p = subprocess.Popen(cmd, stdout=out, stderr=subprocess.DEVNULL, env=env)
        _, status, usage = os.wait4(p.pid, 0)
        elapsed = time.perf_counter() - t
    code = os.waitstatus_to_exitcode(status)
    # grep and rg answer 1 when nothing was found.
    if code not in (0, 1):
        sys.exit("failed (%d): %s" % (code, " ".join(cmd)))
    return elapsed, usage.ru_utime + usage.ru_stime


def file_set(path):
    with open(path, "rb") as f:
        return set(line for line in f.read().split(b"\n") if line)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--driver", required=True, help="path of trawlix_contentbench")
    ap.add_argument("--data", default="/work/benchdata/content")
    ap.add_argument("--size-mb", type=int, default=500)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--locale", default="de_DE.UTF-8")
    ap.add_argument("--kernel", help="scan kernel of the finder (default: the best one)")
    args = ap.parse_args()

    root = os.path.abspath(args.data)
    generate(root, args.size_mb, args.seed)
    env = dict(os.environ, LC_ALL=args.locale)
    tmp = root.rstrip("/") + ".out"
    os.makedirs(tmp, exist_ok=True)
    files = sum(len(fs) for _, _, fs in os.walk(root))
    size = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(root) for f in fs)
    print("tree %s: %d files, %.1f MB; locale %s; kernel %s; median of %d warm runs"
          % (root, files, size / 1e6, args.locale, args.kernel or "best", args.runs))

    cases = [
        ("1%", PRESENT, False),
        ("1%", PRESENT, True),
        ("none", ABSENT, False),
        ("none", ABSENT, True),
    ]
    print("%-6s %-3s %6s %16s %16s %16s %7s %7s %7s %7s" %
          ("phrase", "-i", "files", "trawlix s (cpu)", "grep s (cpu)", "rg -j1 s (cpu)",
           "t/grep", "t/rg", "cpu/gr", "cpu/rg"))
    ok = True
    for label, phrase, icase in cases:
        tools = {
            "trawlix": [args.driver, root, phrase] + (["--ignore-case"] if icase else [])
                       + (["--kernel", args.kernel] if args.kernel else []),
            "grep": ["grep", "-rlF"] + (["-i"] if icase else []) + ["--", phrase, root],
            "rg": ["rg", "-l", "-F", "-j1"] + (["-i"] if icase else []) + ["--", phrase, root],
        }
        times = {k: [] for k in tools}
        outs = {k: os.path.join(tmp, k + ".txt") for k in tools}
        for k, cmd in tools.items():  # warm the cache and the binaries
            run(cmd, env, outs[k])
        for _ in range(args.runs):
            for k, cmd in tools.items():
                times[k].append(run(cmd, env, outs[k]))
        sets = {k: file_set(outs[k]) for k in tools}
        for k in ("trawlix", "rg"):
            if sets[k] != sets["grep"]:
                ok = False
                print("  %s lists %d files, grep %d: %d missing, %d extra" %
                      (k, len(sets[k]), len(sets["grep"]), len(sets["grep"] - sets[k]),
                       len(sets[k] - sets["grep"])))
        med = {k: statistics.median(w for w, _ in v) for k, v in times.items()}
        cpu = {k: statistics.median(c for _, c in v) for k, v in times.items()}
        print("%-6s %-3s %6d %8.3f (%5.3f) %8.3f (%5.3f) %8.3f (%5.3f) %7.2f %7.2f %7.2f %7.2f" %
              (label, "yes" if icase else "no", len(sets["grep"]),
               med["trawlix"], cpu["trawlix"], med["grep"], cpu["grep"], med["rg"], cpu["rg"],
               med["trawlix"] / med["grep"], med["trawlix"] / med["rg"],
               cpu["trawlix"] / cpu["grep"], cpu["trawlix"] / cpu["rg"]))
    print("answers equal to grep's: %s" % ("yes" if ok else "NO"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
