#!/usr/bin/env python3
"""What a person at the window waits for: the program shown in its own X
server (Xvfb), searched by its Alt+S key, timed from the key to the
program's last processor tick, against find doing the same stat work.

    window_bench.py PROGRAM [--runs N] [--sizes 976x768,1280x1000]
                    [--trees /work/benchdata/tree,/usr] [--stop-after 0.4]

For every window size and tree, N rounds, interleaved (find, then the
program; the order alternates round by round):

- find: `find TREE -printf '%h/%f\\t%s\\t%T@\\n' > /dev/null`; wall time and
  the processor time of the process (user + system).
- ours: the program started in TREE (its file list shows the folder it is
  started in, so Alt+S searches TREE), resized with xdotool, left until it is
  idle; then Alt+S. Wall: from just before xdotool sends the key to the
  program's last processor tick of the search (the tick counters of
  /proc/PID/stat, polled every 2 ms, until they have not moved for a second).
  Processor time: what the program AND the X server used over that span.
  The key's arrival is what xev, listening on the window, reports: xdotool
  itself can take hundreds of milliseconds to start on a busy machine.

Then the stop latency: a search of each tree, Alt+A pressed after
--stop-after seconds, timed from the key's arrival at the window to the
moment the window of the message "Stop nach {n} Dateien." is mapped (xev on
the root window reports it), and to the program's last tick (rows, counters
and the message drawn). Medians of N.

Every session uses the end-to-end harness (tests/e2e/harness.py): its own
Xvfb on the first free display from TRAWLIX_E2E_FIRST_DISPLAY on, its own
settings, home and runtime folders. The machine is shared and noisy: read
the ratios, and look at the spread the script prints.
"""

import argparse
import os
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "e2e"))
import harness  # noqa: E402

TICK = os.sysconf("SC_CLK_TCK")
FIND_FORMAT = "%h/%f\t%s\t%T@\n"


def run_find(tree):
    t0 = time.monotonic()
    with open(os.devnull, "wb") as null:
        proc = subprocess.Popen(["find", tree, "-printf", FIND_FORMAT], stdout=null,
                                stderr=subprocess.DEVNULL)
        _, _, ru = os.wait4(proc.pid, 0)
    wall = time.monotonic() - t0
    return wall, ru.ru_utime + ru.ru_stime


def until_last_tick(pid, quiet=1.0):
    """Polls the tick counter of pid; returns the moment it last moved once
    it has stood still for `quiet` seconds with no thread runnable."""
    last = harness.cpu_ticks(pid)
    moved = time.monotonic()
    while True:
        time.sleep(0.002)
        now = harness.cpu_ticks(pid)
        t = time.monotonic()
        if now is None:
            return moved
        if now != last:
            last, moved = now, t
        elif t - moved >= quiet and not harness.any_thread_runnable(pid):
            return moved


class Window:
    """One program run in a session, sized and focused, ready for a key."""

    def __init__(self, session, tree, size):
        self.s = session
        self.p = session.start(cwd=tree)
        w, h = size
        session.x("xdotool", "windowsize", str(self.p.window), str(w), str(h))
        self.p.wait_idle(quiet=0.5)
        got = session.geometry(self.p.window)[2:]
        harness.check(got == (w, h), f"the window is {got[0]} x {got[1]}, not {w} x {h}")
        session.focus(self.p.window)
        # xdotool itself may take a few hundred milliseconds to start on a
        # busy machine: the time runs from the key's arrival at the window.
        self.keys = Watch(session, self.p.window, "keyboard", "KeyPress")

    def press(self, key):
        """Sends a key; returns when the window received it."""
        t = time.monotonic()
        self.s.x("xdotool", "key", key)
        got = self.keys.first_after(t, key.split("+")[-1])
        harness.check(got is not None, f"xev saw no key press of {key}")
        return got

    def key_and_wait(self, key, then=None):
        """(wall, processor time of program + X server) from the key to the
        program's last tick; `then` runs right after the key (a second key)."""
        xpid = self.s.xserver.pid
        p0, x0 = harness.cpu_ticks(self.p.pid), harness.cpu_ticks(xpid)
        t0 = self.press(key)
        extra = then(t0) if then else None
        end = until_last_tick(self.p.pid)
        p1, x1 = harness.cpu_ticks(self.p.pid), harness.cpu_ticks(xpid)
        self.end = end
        return end - t0, ((p1 - p0) + (x1 - x0)) / TICK, (p1 - p0) / TICK, extra

    def close(self):
        self.keys.close()
        self.p.stop()
        self.s.programs.remove(self.p)


def search_round(session, tree, size):
    win = Window(session, tree, size)
    try:
        wall, cpu, own, _ = win.key_and_wait("alt+s")
        harness.check(not session.find_windows("Fehler"), "the search ended with an error box")
        return wall, cpu, own
    finally:
        win.close()


class Watch:
    """The moments xev reports events of one kind (its lines beginning with
    `kind`) on a window of the display, read as they come."""

    def __init__(self, session, window, mask, kind):
        env = dict(os.environ, DISPLAY=session.display)
        where = ["-root"] if window is None else ["-id", str(window)]
        self.kind = kind
        self.proc = subprocess.Popen(["stdbuf", "-oL", "xev", *where, "-event", mask], env=env,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.seen = []
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()
        time.sleep(0.5)  # xev has selected its events

    def _read(self):
        # A key press is reported when its key is named (the line after the
        # event's first), so that the time of alt+s is that of the s.
        pending = None
        for line in self.proc.stdout:
            if line.startswith(self.kind):
                pending = time.monotonic()
                if self.kind != "KeyPress":
                    self.seen.append((pending, None))
            elif pending is not None and "keysym" in line:
                name = line.split("keysym", 1)[1].split(")", 1)[0].split(",")[-1].strip()
                self.seen.append((pending, name))
                pending = None

    def first_after(self, t, name=None, limit=5.0):
        """The first report at or after t (of the key `name`), waiting for it
        up to `limit` s."""
        deadline = time.monotonic() + limit
        while True:
            later = [m for m, n in list(self.seen) if m >= t and (name is None or n == name)]
            if later or time.monotonic() > deadline:
                return later[0] if later else None
            time.sleep(0.01)

    def close(self):
        self.proc.terminate()
        self.proc.wait()


def stop_round(session, tree, size, after):
    """(key to the stop message's window on the screen, key to the last tick)."""
    win = Window(session, tree, size)
    watch = Watch(session, None, "substructure", "MapNotify")
    try:
        def press_stop(t0):
            time.sleep(max(0.0, after - (time.monotonic() - t0)))
            return win.press("alt+a")
        _, _, _, t_stop = win.key_and_wait("alt+s", press_stop)
        harness.check(session.find_windows("Fehler"),
                      "no stop message: the search ended before the stop key (use a smaller --stop-after)")
        shown = watch.first_after(t_stop)
        harness.check(shown is not None, "xev saw no window mapped after the stop key")
        return shown - t_stop, win.end - t_stop
    finally:
        watch.close()
        win.close()


def fmt(values):
    return " ".join(f"{v:.3f}" for v in values)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("program")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--sizes", default="976x768,1280x1000")
    ap.add_argument("--trees", default="/work/benchdata/tree,/usr")
    ap.add_argument("--stop-after", type=float, default=0.4)
    ap.add_argument("--no-stop", action="store_true", help="leave out the stop latency")
    ap.add_argument("--stop-only", action="store_true", help="only the stop latency")
    args = ap.parse_args()
    sizes = [tuple(int(v) for v in s.split("x")) for s in args.sizes.split(",")]
    trees = args.trees.split(",")

    rows = []
    with harness.Session(args.program, "windowbench") as session:
        print(f"X server {session.display}; {args.runs} rounds; tick {1000 // TICK} ms", flush=True)
        for tree in trees:
            for _ in range(2):  # warm the caches
                run_find(tree)
            for size in ([] if args.stop_only else sizes):
                find_wall, find_cpu, ours_wall, ours_cpu, ours_own = [], [], [], [], []
                for r in range(args.runs):
                    order = ("find", "ours") if r % 2 == 0 else ("ours", "find")
                    for what in order:
                        if what == "find":
                            w, c = run_find(tree)
                            find_wall.append(w)
                            find_cpu.append(c)
                        else:
                            w, c, o = search_round(session, tree, size)
                            ours_wall.append(w)
                            ours_cpu.append(c)
                            ours_own.append(o)
                m = statistics.median
                label = f"{tree} {size[0]}x{size[1]}"
                print(f"{label}\n  find wall {fmt(find_wall)}\n  find cpu  {fmt(find_cpu)}\n"
                      f"  ours wall {fmt(ours_wall)}\n  ours cpu  {fmt(ours_cpu)} (program alone {fmt(ours_own)})",
                      flush=True)
                rows.append((label, m(find_wall), m(find_cpu), m(ours_wall), m(ours_cpu), m(ours_own)))
        stops = []
        if not args.no_stop:
            for tree in trees:
                lat = [stop_round(session, tree, sizes[-1], args.stop_after) for _ in range(args.runs)]
                print(f"stop {tree}: to the message {fmt(v[0] for v in lat)}; "
                      f"to the last tick {fmt(v[1] for v in lat)}", flush=True)
                stops.append((tree, statistics.median(v[0] for v in lat), max(v[0] for v in lat),
                              statistics.median(v[1] for v in lat)))

    print("\nmedians (s); cpu = program + X server")
    print(f"{'tree and window':<34}{'find wall':>10}{'find cpu':>10}{'ours wall':>10}{'ours cpu':>10}"
          f"{'(program)':>10}{'wall ratio':>11}{'cpu ratio':>10}")
    for label, fw, fc, ow, oc, oo in rows:
        print(f"{label:<34}{fw:>10.3f}{fc:>10.3f}{ow:>10.3f}{oc:>10.3f}{oo:>10.3f}{ow / fw:>11.2f}{oc / fc:>10.2f}")
    for tree, med, worst, idle in stops:
        print(f"stop {tree}: key to the message on the screen median {med * 1000:.0f} ms, "
              f"worst {worst * 1000:.0f} ms; to the last tick median {idle * 1000:.0f} ms")


if __name__ == "__main__":
    main()
