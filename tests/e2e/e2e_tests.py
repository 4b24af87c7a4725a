#!/usr/bin/env python3
"""End-to-end tests of the Trawlix program in a real X server.

Usage: e2e_tests.py PROGRAM TEST (ctest runs each TEST on its own).
Each test builds its own tree, starts the program on it with an empty
settings folder and checks what lands on the disk against tools that this
project did not write (find, jdupes).
"""

import os
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
from harness import Failure, check  # noqa: E402


def make_file(path, data=b""):
    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)
    return path


def read_settings(session):
    """The values of the settings file as a dict of texts."""
    check(session.settings_file.exists(), f"no settings file {session.settings_file}")
    values = {}
    for line in session.settings_file.read_text(encoding="utf-8").splitlines():
        key, sep, value = line.partition("=")
        if sep:
            values[key.strip()] = value.strip()
    return values


def centred(width, height):
    return (harness.SCREEN_WIDTH - width) // 2, (harness.SCREEN_HEIGHT - height) // 2


def test_settings(s):
    """The window's size and the folder come back at the next start."""
    folder = s.tree / "Ablage" / "Schöne Grüße"
    make_file(folder / "brief.txt", b"Hallo\n")
    elsewhere = s.tree / "anderswo"
    make_file(elsewhere / "nicht hier.txt", b"x")
    s.settings_file.parent.mkdir(parents=True)
    s.settings_file.write_text(
        "[General]\nWinMainTop=5\nWinMainLeft=7\nWinMainHeight=640\nWinMainWidth=820\n"
        f"LastDir={folder}\n", encoding="utf-8")

    # First run: the stored size, centred whatever top and left say.
    p = s.start(cwd=elsewhere)
    x, y, w, h = s.geometry(p.window)
    check((w, h) == (820, 640), f"window opened with {w} x {h}, stored was 820 x 640")
    check((x, y) == centred(w, h), f"window at {x}, {y}, centred would be {centred(w, h)}")
    icon = s.x("xprop", "-id", str(p.window), "_NET_WM_ICON", check_rc=False)
    check("Icon (" in icon, f"the window has no icon: {icon.strip()}")

    s.x("xdotool", "windowsize", str(p.window), "700", "500")
    s.wait_for("the window to take its new size", lambda: s.geometry(p.window)[2:] == (700, 500), p)
    p.wait_idle()
    s.keys(p.window, "alt+b")
    check(p.wait_exit() == 0, f"Beenden ended the program with code {p.proc.returncode}")
    stored = read_settings(s)
    expected = {"WinMainWidth": "700", "WinMainHeight": "500", "WinMainLeft": str(x),
                "WinMainTop": str(y), "LastDir": str(folder)}
    for key, value in expected.items():
        check(stored.get(key) == value, f"settings hold {key}={stored.get(key)!r}, expected {value!r}")

    # Second run: the size stored at the close, centred again.
    p = s.start(cwd=elsewhere)
    x, y, w, h = s.geometry(p.window)
    check((w, h) == (700, 500), f"second start: window {w} x {h}, expected 700 x 500")
    check((x, y) == centred(w, h), f"second start: window at {x}, {y}, centred would be {centred(w, h)}")
    s.keys(p.window, "alt+b")
    check(p.wait_exit() == 0, f"Beenden ended the program with code {p.proc.returncode}")
    stored = read_settings(s)
    check(stored.get("LastDir") == str(folder),
          f"after the second run LastDir={stored.get('LastDir')!r}, expected {str(folder)!r}")


TESTS = {
    "settings": test_settings,
}

if __name__ == "__main__":
    harness.run(TESTS)
