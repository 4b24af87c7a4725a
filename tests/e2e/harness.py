"""Runs the real Trawlix program in an X server of its own and drives it as a
person would: keys with their accelerators, the context menu by keyboard,
the save dialog answered by typing a path, clicks.

Every session owns a temporary folder (the tree to search, the settings
folder, the runtime folder, a home), its own Xvfb on a display that no one
else uses, and the programs it starts. All of them are stopped and the
folder removed when the session ends, also when a check fails or the test
is interrupted; should the harness itself be killed, the X server and the
program get SIGTERM from the kernel (parent-death signal).

Waiting: a program is idle when its processor time (utime + stime in
/proc/PID/stat) has stopped growing; windows are looked for with xdotool.
Waits for something that must appear have a limit so that a broken program
fails the test with its output instead of hanging it; no check measures
how fast anything is.
"""

import ctypes
import os
import random
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

MAIN_TITLE = "Vendrel-Tools: Dateien suchen"
MESSAGE_TITLES = ("Fehler", "Warnung", "Informationen", "Trawlix")
SCREEN_WIDTH, SCREEN_HEIGHT = 1280, 1024

# How long a program may take to show its main window, and how long any
# other awaited change may take, in seconds. Generous: the machine may be
# busy building.
START_LIMIT = float(os.environ.get("TRAWLIX_E2E_START_LIMIT", "15"))
WAIT_LIMIT = 20.0


class Failure(Exception):
    """A check failed; the message says what was expected and what was found."""


def check(condition, message):
    if not condition:
        raise Failure(message)


def _die_with_parent():
    # PR_SET_PDEATHSIG: the child gets SIGTERM when the harness dies, even
    # by SIGKILL.
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGTERM, 0, 0, 0)


def _stop_process(proc, grace=3.0):
    if proc is None or proc.poll() is not None:
        return
    proc.terminate()
    try:
        proc.wait(grace)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


def _interrupted(signum, _frame):
    raise Failure(f"interrupted by signal {signum}")


def _stat_fields(path):
    with open(path, "rb") as f:
        stat = f.read()
    return stat[stat.rindex(b")") + 2:].split()


def cpu_ticks(pid):
    """utime + stime of a process (all its threads), or None when it is gone."""
    try:
        fields = _stat_fields(f"/proc/{pid}/stat")
    except OSError:
        return None
    if fields[0] == b"Z":
        return None
    return int(fields[11]) + int(fields[12])


def any_thread_runnable(pid):
    """True while a thread of the process runs or waits for a processor,
    as a starved program does on a busy machine."""
    try:
        tasks = os.listdir(f"/proc/{pid}/task")
    except OSError:
        return False
    for tid in tasks:
        try:
            if _stat_fields(f"/proc/{pid}/task/{tid}/stat")[0] == b"R":
                return True
        except OSError:
            pass
    return False


class Program:
    """One run of the program under test."""

    def __init__(self, session, argv, cwd, env):
        self.session = session
        self.log_path = session.tmp / f"program-{len(session.programs) + 1}.log"
        self._log = open(self.log_path, "wb")
        self.proc = subprocess.Popen(argv, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                                     stdout=self._log, stderr=subprocess.STDOUT,
                                     preexec_fn=_die_with_parent)
        self.pid = self.proc.pid
        self.window = None

    def output(self):
        self._log.flush()
        try:
            text = self.log_path.read_bytes().decode("utf-8", "replace")
        except OSError:
            return ""
        return text.strip() or "(no output)"

    def alive(self):
        return self.proc.poll() is None

    def fail(self, message):
        """Raises a failure that carries the program's output."""
        state = "running" if self.alive() else f"exited with code {self.proc.returncode}"
        raise Failure(f"{message}\n  program {state}; its output:\n    "
                      + self.output().replace("\n", "\n    "))

    def wait_main_window(self, limit=None):
        """The id of the main window once it is visible."""
        limit = START_LIMIT if limit is None else limit
        deadline = time.monotonic() + limit
        while True:
            if not self.alive():
                self.fail("the program ended before it showed its window")
            ids = self.session.find_windows(MAIN_TITLE)
            if ids:
                self.window = ids[0]
                self.wait_idle()
                return self.window
            if time.monotonic() > deadline:
                self.fail(f"the program showed no window \"{MAIN_TITLE}\" within {limit:g} seconds")
            time.sleep(0.1)

    def wait_idle(self, quiet=0.6):
        """Returns once the program has used no processor time for `quiet`
        seconds with none of its threads runnable, which it does only while
        it waits for input."""
        deadline = time.monotonic() + WAIT_LIMIT * 3
        last, since = cpu_ticks(self.pid), time.monotonic()
        while True:
            time.sleep(0.1)
            now = cpu_ticks(self.pid)
            if now is None:
                return
            if now != last or any_thread_runnable(self.pid):
                last, since = now, time.monotonic()
            elif time.monotonic() - since >= quiet:
                return
            if time.monotonic() > deadline:
                self.fail("the program kept working and never became idle")

    def wait_exit(self, limit=WAIT_LIMIT):
        try:
            return self.proc.wait(limit)
        except subprocess.TimeoutExpired:
            self.fail(f"the program did not end within {limit:g} seconds")

    def stop(self):
        _stop_process(self.proc)
        self._log.close()


class Session:
    """A temporary folder, an X server and the programs started in it."""

    def __init__(self, program, name):
        self.program = str(Path(program).resolve())
        self.name = name
        self.tmp = Path(tempfile.mkdtemp(prefix=f"trawlix-e2e-{name}-"))
        self.tree = self.tmp / "tree"
        self.config = self.tmp / "config"
        self.runtime = self.tmp / "runtime"
        self.home = self.tmp / "home"
        for d in (self.tree, self.config, self.home):
            d.mkdir()
        self.runtime.mkdir(mode=0o700)
        self.display = None
        self.xserver = None
        self.programs = []
        self._old_handlers = {}

    @property
    def settings_file(self):
        return self.config / "Vendrel" / "VD_Trawlix.conf"

    # -- life cycle ---------------------------------------------------------

    def __enter__(self):
        for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            self._old_handlers[sig] = signal.signal(sig, _interrupted)
        try:
            for tool, package in (("Xvfb", "xvfb"), ("xdotool", "xdotool")):
                check(shutil.which(tool), f"{tool} is not installed (Debian package {package}; "
                                          "scripts/setup.sh installs it)")
            self._start_x()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *_exc):
        try:
            for p in self.programs:
                p.stop()
            _stop_process(self.xserver)
        finally:
            for sig, handler in self._old_handlers.items():
                signal.signal(sig, handler)
            shutil.rmtree(self.tmp, ignore_errors=True)
        return False

    def _start_x(self):
        """Starts Xvfb on the first free display from a random place on,
        skipping every number whose lock file or socket exists and every
        number the server itself finds busy."""
        first = int(os.environ.get("TRAWLIX_E2E_FIRST_DISPLAY", random.randrange(100, 900)))
        tried = []
        log_path = self.tmp / "xvfb.log"
        for n in range(first, first + 200):
            if Path(f"/tmp/.X{n}-lock").exists() or Path(f"/tmp/.X11-unix/X{n}").exists():
                continue
            tried.append(n)
            ready_r, ready_w = os.pipe()
            with open(log_path, "wb") as log:
                proc = subprocess.Popen(
                    ["Xvfb", f":{n}", "-screen", "0", f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}x24",
                     "-nolisten", "tcp", "-noreset", "-displayfd", str(ready_w)],
                    stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                    pass_fds=(ready_w,), preexec_fn=_die_with_parent)
            os.close(ready_w)
            answer = b""
            deadline = time.monotonic() + WAIT_LIMIT
            try:
                while b"\n" not in answer and time.monotonic() < deadline:
                    readable, _, _ = select.select([ready_r], [], [], 0.2)
                    if readable:
                        chunk = os.read(ready_r, 64)
                        if not chunk:
                            break  # the server ended: display busy or no server at all
                        answer += chunk
            finally:
                os.close(ready_r)
            if answer.strip() == str(n).encode():
                self.xserver, self.display = proc, f":{n}"
                return
            _stop_process(proc)
            if len(tried) >= 20:
                break
        log = log_path.read_text(errors="replace").strip() if log_path.exists() else ""
        raise Failure(f"could not start an X server (Xvfb) on any of the displays {tried}; "
                      f"the last attempt said:\n    " + log.replace("\n", "\n    "))

    def start(self, cwd=None, extra_env=None, args=()):
        """Starts the program with the session's settings folder, in `cwd`
        (default: the tree), with the command-line arguments `args`, and
        returns it once its main window shows."""
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("QT_", "XDG_", "DBUS_", "SESSION_MANAGER", "LC_", "LANG"))}
        env.update({
            "DISPLAY": self.display,
            "QT_QPA_PLATFORM": "xcb",
            "HOME": str(self.home),
            "XDG_CONFIG_HOME": str(self.config),
            "XDG_RUNTIME_DIR": str(self.runtime),
            "XDG_DATA_HOME": str(self.home / "data"),
            "XDG_CACHE_HOME": str(self.home / "cache"),
            "LC_ALL": "C.UTF-8",
        })
        env.update(extra_env or {})
        p = Program(self, [self.program, *map(str, args)], str(cwd or self.tree), env)
        self.programs.append(p)
        p.wait_main_window()
        return p

    # -- X and xdotool ------------------------------------------------------

    def x(self, *args, check_rc=True):
        """Runs an X client (xdotool, xprop) on the session's display."""
        env = dict(os.environ, DISPLAY=self.display)
        r = subprocess.run(list(args), env=env, capture_output=True, text=True)
        if check_rc and r.returncode != 0:
            raise Failure(f"{' '.join(args)} failed ({r.returncode}): {r.stderr.strip()}")
        return r.stdout

    def find_windows(self, title):
        """Ids of the visible windows whose title is exactly `title`."""
        pattern = "^" + "".join("\\" + c if c in ".^$*+?()[]{}|\\" else c for c in title) + "$"
        out = self.x("xdotool", "search", "--onlyvisible", "--name", pattern, check_rc=False)
        return [int(w) for w in out.split()]

    def visible_windows(self):
        """(id, title) of every visible window that has a title."""
        out = self.x("xdotool", "search", "--onlyvisible", "--name", ".", check_rc=False)
        result = []
        for w in out.split():
            name = self.x("xdotool", "getwindowname", w, check_rc=False).strip()
            result.append((int(w), name))
        return result

    def geometry(self, window):
        """(x, y, width, height) of a window."""
        values = {}
        for line in self.x("xdotool", "getwindowgeometry", "--shell", str(window)).splitlines():
            k, _, v = line.partition("=")
            values[k] = int(v) if v.lstrip("-").isdigit() else v
        return values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]

    def focus(self, window):
        """Gives the keyboard to a window, as there is no window manager to
        do it."""
        deadline = time.monotonic() + WAIT_LIMIT
        while True:
            self.x("xdotool", "windowfocus", str(window), check_rc=False)
            if self.x("xdotool", "getwindowfocus", check_rc=False).strip() == str(window):
                return
            if time.monotonic() > deadline:
                raise Failure(f"window {window} did not take the keyboard focus")
            time.sleep(0.1)

    def keys(self, window, *keys):
        """Presses keys (xdotool key names such as alt+s, Down, Return) in
        a window."""
        self.focus(window)
        self.x("xdotool", "key", "--delay", "40", *keys)

    def type_text(self, text):
        self.x("xdotool", "type", "--delay", "15", text)

    def click(self, window, x, y, button=1):
        """A click at (x, y) inside a window."""
        self.x("xdotool", "mousemove", "--window", str(window), str(x), str(y))
        self.x("xdotool", "click", str(button))

    def wait_for(self, what, test, program=None, limit=WAIT_LIMIT):
        """Waits until test() gives a true value and returns that value."""
        deadline = time.monotonic() + limit
        while True:
            value = test()
            if value:
                return value
            if program is not None and not program.alive():
                program.fail(f"the program ended while waiting for {what}")
            if time.monotonic() > deadline:
                message = f"gave up waiting for {what}; windows: {self.visible_windows()}"
                if program is not None:
                    program.fail(message)
                raise Failure(message)
            time.sleep(0.1)

    def dialogs(self, program):
        """The visible windows other than the program's main window."""
        return [(w, t) for w, t in self.visible_windows() if w != program.window]

    def expect_no_dialog(self, program, after):
        program.wait_idle()
        others = self.dialogs(program)
        if others:
            program.fail(f"after {after} the program showed {[t for _, t in others]}, expected nothing")

    def answer_message(self, program, title):
        """Waits for a message box with `title` and closes it with Return."""
        box = self.wait_for(f"a message box \"{title}\"",
                            lambda: self.find_windows(title), program)[0]
        self.keys(box, "Return")
        self.wait_for(f"the message box \"{title}\" to close",
                      lambda: not self.find_windows(title), program)
        program.wait_idle()

    def save_through_dialog(self, program, accelerator, target):
        """Presses the accelerator of a save button, types `target` into the
        save dialog and presses Return; returns once the file is written."""
        target = Path(target)
        check(not target.exists(), f"{target} exists before saving")
        self.keys(program.window, accelerator)
        dialog = self.wait_for(f"the save dialog after {accelerator}",
                               lambda: [w for w, t in self.dialogs(program)
                                        if t not in MESSAGE_TITLES], program)[0]
        program.wait_idle()
        self.keys(dialog, "ctrl+a")
        self.type_text(str(target))
        self.keys(dialog, "Return")
        self.wait_for("the save dialog to close",
                      lambda: dialog not in [w for w, _ in self.visible_windows()], program)
        program.wait_idle()
        self.expect_no_dialog(program, f"saving to {target}")
        check(target.exists(), f"the program wrote no file {target}")
        return target.read_bytes()

    def grid_focus(self, program):
        """Clicks the empty lower part of the result table, which gives it
        the keyboard without selecting a row."""
        _, _, width, height = self.geometry(program.window)
        self.click(program.window, 209 + (width - 209) // 2, height - 37 - 30)
        program.wait_idle()

    def context_menu(self, program, downs):
        """Opens the result table's context menu with the Menu key and
        chooses its entry number `downs` (1 = the first) with Down and
        Return."""
        self.keys(program.window, "Menu")
        program.wait_idle()
        self.x("xdotool", "key", "--delay", "40", *(["Down"] * downs), "Return")
        program.wait_idle()


def run(tests):
    """Command line: harness PROGRAM TEST. Runs one test function of the
    table `tests` (name -> function(session)) and exits non-zero with the
    reason when it fails."""
    if len(sys.argv) != 3 or sys.argv[2] not in tests:
        sys.exit(f"usage: {sys.argv[0]} PROGRAM {{{'|'.join(tests)}}}")
    program, name = sys.argv[1], sys.argv[2]
    started = time.monotonic()
    try:
        with Session(program, name) as session:
            tests[name](session)
    except Failure as e:
        print(f"FAILED {name}: {e}", file=sys.stderr)
        sys.exit(1)
    print(f"passed {name} in {time.monotonic() - started:.1f} s")
