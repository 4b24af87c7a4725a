#!/usr/bin/env python3
"""The harness's own bad cases: a display that is taken is passed over and
left alone; a program that ends at once, or never shows a window, fails the
test with its output, and nothing the session started keeps running."""

import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
from harness import Failure, check  # noqa: E402


def script(folder, name, body):
    path = Path(folder) / name
    path.write_text("#!/bin/sh\n" + body)
    path.chmod(0o755)
    return path


def pid_gone(pid):
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        if harness.cpu_ticks(pid) is None:
            return True
        time.sleep(0.05)
    return False


def expect_start_failure(program, *expected):
    """Starts `program` in a session and returns the session's display and
    the pid of the program's process after the failure."""
    with harness.Session(program, "selftest") as s:
        display = s.display
        try:
            s.start()
        except Failure as e:
            text = str(e)
            for part in expected:
                check(part in text, f"the failure {text!r} does not mention {part!r}")
            pid = s.programs[-1].pid
        else:
            raise Failure(f"{program} was taken for a working program")
    return display, pid


def main():
    failures = []
    with tempfile.TemporaryDirectory(prefix="trawlix-e2e-selftest-") as tmp:
        crashing = script(tmp, "crashing", "echo 'kaputt: keine Anzeige' >&2\nexit 3\n")
        silent = script(tmp, "silent", "echo 'warte nur'\nexec sleep 120\n")

        def busy_display_is_skipped():
            # Take a display by hand, then ask the harness to start there.
            first = None
            with harness.Session(crashing, "selftest-owner") as owner:
                first = int(owner.display[1:])
                os.environ["TRAWLIX_E2E_FIRST_DISPLAY"] = str(first)
                try:
                    with harness.Session(crashing, "selftest") as s:
                        check(s.display != owner.display,
                              f"the harness started a second server on the busy display {owner.display}")
                        check(int(s.display[1:]) > first, f"display {s.display} lies before {first}")
                    check(owner.xserver.poll() is None, "the busy display's server was stopped")
                finally:
                    del os.environ["TRAWLIX_E2E_FIRST_DISPLAY"]

        def crashing_program_fails_with_its_output():
            display, pid = expect_start_failure(crashing, "ended before it showed its window",
                                                "exited with code 3", "kaputt: keine Anzeige")
            check(not Path(f"/tmp/.X{display[1:]}-lock").exists(),
                  f"the X server of {display} is still running after the session")

        def windowless_program_is_stopped():
            harness.START_LIMIT = 2
            display, pid = expect_start_failure(silent, "showed no window", "within 2 seconds",
                                                "program running", "warte nur")
            check(pid_gone(pid), f"the program (pid {pid}) still runs after the session")
            check(not Path(f"/tmp/.X{display[1:]}-lock").exists(),
                  f"the X server of {display} is still running after the session")

        def missing_xvfb_is_a_failure():
            saved = os.environ["PATH"]
            os.environ["PATH"] = tmp  # neither Xvfb nor xdotool there
            try:
                harness.Session(crashing, "selftest").__enter__()
            except Failure as e:
                check("Xvfb is not installed" in str(e), f"unclear failure: {e}")
            else:
                raise Failure("a session started without Xvfb")
            finally:
                os.environ["PATH"] = saved

        for case in (busy_display_is_skipped, crashing_program_fails_with_its_output,
                     windowless_program_is_stopped, missing_xvfb_is_a_failure):
            try:
                case()
                print(f"ok {case.__name__}")
            except Failure as e:
                print(f"FAILED {case.__name__}: {e}", file=sys.stderr)
                failures.append(case.__name__)
    if failures:
        sys.exit(f"{len(failures)} harness case(s) failed: {failures}")
    print("harness cases passed")


if __name__ == "__main__":
    main()
