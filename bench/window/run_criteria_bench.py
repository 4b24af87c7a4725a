#!/usr/bin/env python3
"""The further search criteria through the shown window.

1. Content: a search with a phrase ("Enthält Text", letter case ignored, as
   the dialog has it by default) through the window shown on a real X server
   (Xvfb) at its designed size 976 x 768, on the 500 MB text tree of
   bench/content, against `rg -l -F -i -j1` and `grep -rliF` on the same
   tree, for a phrase in about 1.5 % of the files and for one with umlauts.
   Every tool runs --runs times, interleaved round by round, after one warm-up
   round; medians count. The window's time is measured inside the program
   around btnSearchClick, the final painting included; the whole process
   (start of Qt and the window) is shown beside it. The list of files the
   window found must equal grep's.
2. Size and date: searches with "Größe mindestens / höchstens" and "Geändert
   nach / vor" on the walk benchmark's tree (bench/gen_tree.py, times spread
   over 2001 to 2024), whose lists must equal `find ! -type d` with -size and
   -newermt.

Usage: run_criteria_bench.py --driver BUILD/bench/window/trawlix_windowbench
                             [--content DIR] [--tree DIR] [--runs N]
                             [--display :N] [--locale NAME]
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "content"))
import run_content_bench as content  # noqa: E402


def timed(cmd, env, out_path):
    """Runs cmd; returns (wall seconds, its standard output as bytes)."""
    with open(out_path, "wb") as out:
        t = time.perf_counter()
        p = subprocess.run(cmd, stdout=out, stderr=subprocess.DEVNULL, env=env)
        elapsed = time.perf_counter() - t
    if p.returncode not in (0, 1):  # grep and rg answer 1 when nothing was found
        sys.exit("failed (%d): %s" % (p.returncode, " ".join(cmd)))
    with open(out_path, "rb") as f:
        return elapsed, f.read()


def inner_seconds(output):
    """The time the window driver measured around btnSearchClick."""
    for line in output.decode().splitlines():
        if line.startswith("run 1:"):
            return float(line.split()[2].replace(",", ".")) / 1000  # printed in the locale
    sys.exit("the window driver printed no time:\n" + output.decode())


def lines(path):
    with open(path, "rb") as f:
        return set(line for line in f.read().split(b"\n") if line)


def content_bench(args, env):
    root = os.path.abspath(args.content)
    content.generate(root, 500, 1)
    files = sum(len(fs) for _, _, fs in os.walk(root))
    size = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(root) for f in fs)
    print("content tree %s: %d files, %.1f MB; window %s at 976x768; median of %d warm runs"
          % (root, files, size / 1e6, args.display, args.runs))
    print("%-22s %6s %14s %14s %9s %9s %7s %7s %s" %
          ("phrase", "files", "window s", "(process s)", "rg s", "grep s", "w/rg", "w/grep", "lists"))
    ok = True
    tmp = tempfile.mkdtemp(prefix="trawlix-criteria-")
    try:
        for phrase in (content.PRESENT.lower(), args.umlaut_phrase):
            listed = os.path.join(tmp, "window.txt")
            tools = {
                "window": [args.driver, "search", root, "--runs", "1", "--shown", "1", "--size", "976x768",
                           "--phrase", phrase, "--list", listed],
                "rg": ["rg", "-l", "-F", "-i", "-j1", "--", phrase, root],
                "grep": ["grep", "-rliF", "--", phrase, root],
            }
            times = {k: [] for k in tools}
            inner = []
            outs = {k: os.path.join(tmp, k + ".out") for k in tools}
            for rnd in range(args.runs + 1):  # round 0 warms the caches and the binaries
                for k, cmd in tools.items():
                    wall, out = timed(cmd, env, outs[k])
                    if rnd == 0:
                        continue
                    times[k].append(wall)
                    if k == "window":
                        inner.append(inner_seconds(out))
            found = lines(listed)
            by_grep = lines(outs["grep"])
            by_rg = lines(outs["rg"])
            same = found == by_grep and by_rg == by_grep
            ok = ok and same and len(by_grep) > 0
            med = {k: statistics.median(v) for k, v in times.items()}
            w = statistics.median(inner)
            print("%-22s %6d %14.3f %14.3f %9.3f %9.3f %7.2f %7.2f %s" %
                  (phrase, len(by_grep), w, med["window"], med["rg"], med["grep"], w / med["rg"],
                   w / med["grep"], "equal" if same else
                   "DIFFER (window %d, rg %d, grep %d)" % (len(found), len(by_rg), len(by_grep))))
            for k, v in (("window", inner), ("rg", times["rg"]), ("grep", times["grep"])):
                print("%-22s %-6s runs: %s" % ("", k, " ".join("%.3f" % t for t in v)))
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    return ok


def find_list(env, tree, *tests):
    # The same zone as the window: -newermt reads its dates in local time.
    out = subprocess.run(["find", tree, "-mindepth", "1", "!", "-type", "d", *tests, "-print0"],
                         check=True, capture_output=True, env=env).stdout
    return set(e for e in out.split(b"\0") if e)


def window_list(args, env, tree, *options):
    tmp = tempfile.mkdtemp(prefix="trawlix-criteria-")
    try:
        listed = os.path.join(tmp, "list.txt")
        timed([args.driver, "search", tree, "--runs", "1", "--shown", "1", "--size", "976x768",
               "--list", listed, *options], env, os.path.join(tmp, "out"))
        return lines(listed)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


def size_date_checks(args, env):
    tree = os.path.abspath(args.tree)
    subprocess.run([sys.executable, os.path.join(HERE, "..", "gen_tree.py"), tree], check=True)
    cases = [
        ("size 1000 .. 4096 bytes", ["--min", "1000", "--max", "4096"], ["-size", "+999c", "-size", "-4097c"]),
        ("size at least 1 MB", ["--min", "1048576"], ["-size", "+1048575c"]),
        ("size at most 1 byte", ["--max", "1"], ["-size", "-2c"]),
        ("changed 2010-03-28 .. 2012-10-28", ["--after", "2010-03-28", "--before", "2012-10-28"],
         ["-newermt", "2010-03-27 23:59:59.999999999", "!", "-newermt", "2012-10-28 23:59:59.999999999"]),
        ("changed after 2024-01-01", ["--after", "2024-01-01"], ["-newermt", "2023-12-31 23:59:59.999999999"]),
        ("changed before 2001-06-30", ["--before", "2001-06-30"], ["!", "-newermt", "2001-06-30 23:59:59.999999999"]),
    ]
    print("size and date on %s (TZ=%s):" % (tree, env.get("TZ", "")))
    ok = True
    for name, ours, find_tests in cases:
        found = window_list(args, env, tree, *ours)
        expected = find_list(env, tree, *find_tests)
        same = found == expected
        ok = ok and same and len(expected) > 0
        print("  %-36s window %7d  find %7d  %s" % (name, len(found), len(expected), "equal" if same else
              "DIFFER: %d missing, %d extra" % (len(expected - found), len(found - expected))))
    return ok


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--driver", required=True, help="path of trawlix_windowbench")
    ap.add_argument("--content", default="/work/benchdata/content")
    ap.add_argument("--tree", default="/work/benchdata/tree")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--display", default=":34")
    ap.add_argument("--locale", default="de_DE.UTF-8")
    ap.add_argument("--umlaut-phrase", default="größe grö")
    args = ap.parse_args()

    for tool in ("Xvfb", "rg", "grep", "find"):
        if not shutil.which(tool):
            sys.exit("missing: %s" % tool)
    xdg = tempfile.mkdtemp(prefix="trawlix-xdg-")
    os.chmod(xdg, 0o700)
    xvfb = subprocess.Popen(["Xvfb", args.display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        time.sleep(1)
        env = dict(os.environ, LC_ALL=args.locale, TZ=os.environ.get("TZ", "Europe/Berlin"),
                   DISPLAY=args.display, QT_QPA_PLATFORM="xcb", XDG_RUNTIME_DIR=xdg,
                   XDG_CONFIG_HOME=os.path.join(xdg, "config"))
        ok = content_bench(args, env)
        ok = size_date_checks(args, env) and ok
    finally:
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(xdg, ignore_errors=True)
    print("all lists equal: %s" % ("yes" if ok else "NO"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
