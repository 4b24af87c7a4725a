#!/usr/bin/env python3
"""End-to-end tests of the Trawlix program in a real X server.

Usage: e2e_tests.py PROGRAM TEST (ctest runs each TEST on its own).
Each test builds its own tree, starts the program on it with an empty
settings folder and checks what lands on the disk against tools that this
project did not write (find, jdupes).
"""

import hashlib
import os
import shutil
import stat
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parent.parent))
import harness  # noqa: E402
from harness import Failure, check  # noqa: E402
from xorsum import xorsum  # noqa: E402


def make_file(path, data=b""):
    # A name given as bytes may hold bytes that are not UTF-8.
    path = Path(os.fsdecode(path) if isinstance(path, bytes) else path)
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)
    return path


def make_chain(top, levels, every):
    """A chain of `levels` folders with 32-byte names below `top`, a file in
    every `every`-th of them and at the bottom. Made folder by folder
    relative to the one before, as its paths outgrow what the system takes
    in one call."""
    top.mkdir(parents=True, exist_ok=True)
    fd = os.open(top, os.O_RDONLY | os.O_DIRECTORY)
    try:
        for level in range(1, levels + 1):
            name = f"ebene{level:03d}".ljust(32, "_")
            os.mkdir(name, dir_fd=fd)
            nxt = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
            os.close(fd)
            fd = nxt
            if level % every == 0 or level == levels:
                out = os.open(f"datei{level}.txt", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd)
                os.write(out, b"x" * level)
                os.close(out)
    finally:
        os.close(fd)


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

    s.x("xdotool", "windowsize", str(p.window), "1000", "700")
    s.wait_for("the window to take its new size", lambda: s.geometry(p.window)[2:] == (1000, 700), p)
    p.wait_idle()
    s.keys(p.window, "alt+b")
    check(p.wait_exit() == 0, f"Beenden ended the program with code {p.proc.returncode}")
    stored = read_settings(s)
    expected = {"WinMainWidth": "1000", "WinMainHeight": "700", "WinMainLeft": str(x),
                "WinMainTop": str(y), "LastDir": str(folder)}
    for key, value in expected.items():
        check(stored.get(key) == value, f"settings hold {key}={stored.get(key)!r}, expected {value!r}")

    # Second run: the size stored at the close, centred again.
    p = s.start(cwd=elsewhere)
    x, y, w, h = s.geometry(p.window)
    check((w, h) == (1000, 700), f"second start: window {w} x {h}, expected 1000 x 700")
    check((x, y) == centred(w, h), f"second start: window at {x}, {y}, centred would be {centred(w, h)}")
    s.keys(p.window, "alt+b")
    check(p.wait_exit() == 0, f"Beenden ended the program with code {p.proc.returncode}")
    stored = read_settings(s)
    check(stored.get("LastDir") == str(folder),
          f"after the second run LastDir={stored.get('LastDir')!r}, expected {str(folder)!r}")


def test_first_start(s):
    """The first start on a 1280 x 1024 screen: the window at its design
    size, centred, the tree on the folder the program was started in (it is
    stored at the close), and the keyboard alone is enough: the focus starts
    in the table, Tab leaves the table, empty or filled, and reaches the
    mask field, Shift+F10 opens the table's menu."""
    t = s.tree
    make_file(t / "notiz.txt", b"n" * 30)
    make_file(t / "bild.png", b"p" * 10)
    make_file(t / "Unterordner" / "tief.txt", b"t" * 20)
    make_file(t / "Unterordner" / "alt.dat", b"a" * 40)
    make_file(t / "Unterordner" / "kurz.txt", b"k" * 5)
    out = s.tmp / "out"
    out.mkdir()

    p = s.start()
    s.expect_no_dialog(p, "the first start")
    x, y, w, h = s.geometry(p.window)
    check((w, h) == (976, 768), f"the first start opened a window of {w} x {h}, expected 976 x 768")
    check((x, y) == centred(w, h), f"window at {x}, {y}, centred would be {centred(w, h)}")

    # From the table two Tabs reach the mask field, whose text they select.
    s.keys(p.window, "Tab", "Tab")
    s.type_text("*.txt")
    search(s, p)
    s.keys(p.window, "shift+Tab", "shift+Tab")
    s.keys(p.window, "shift+F10")
    p.wait_idle()
    s.x("xdotool", "key", "--delay", "40", *(["Down"] * SORT_BY_SIZE), "Return")
    s.expect_no_dialog(p, "sorting by size")
    rows = table_rows(s.save_through_dialog(p, "alt+t", out / "txt.txt"))
    got = [r[0] + r[1] + b"\t" + r[3] for r in rows]
    expected = sorted(found_by_find(t, "%p", "%s"), key=lambda e: int(e.split(b"\t")[1]))
    expected = [e for e in expected if e.split(b"\t")[0].endswith(b".txt")]
    check(got == expected, f"searching *.txt and sorting by size gave\n  {got}\nexpected\n  {expected}")

    # Tab leaves the table also when it holds rows: back in the table
    # (after the save, the focus is where it was), two Tabs reach the field.
    s.keys(p.window, "Tab", "Tab")
    s.type_text("*.dat")
    search(s, p)
    listed = lines_of(s.save_through_dialog(p, "alt+d", out / "dat.txt"), "the list file")
    check(listed == [os.fsencode(t / "Unterordner" / "alt.dat")], f"searching *.dat listed {listed}")

    s.keys(p.window, "alt+b")
    check(p.wait_exit() == 0, f"Beenden ended the program with code {p.proc.returncode}")
    stored = read_settings(s)
    for key, value in {"WinMainWidth": "976", "WinMainHeight": "768", "LastDir": str(t)}.items():
        check(stored.get(key) == value, f"settings hold {key}={stored.get(key)!r}, expected {value!r}")


# -- reading what the program saved -------------------------------------------

TABLE_HEADER = "Verzeichnis\tDatei\tDatum\tGröße in Byte".encode("utf-8")


def lines_of(data, what):
    """The lines of a saved file; every line must end in CR LF."""
    check(data.endswith(b"\r\n") or not data, f"{what} does not end in CR LF: {data[-20:]!r}")
    lines = data.split(b"\r\n")[:-1] if data else []
    for line in lines:
        check(b"\n" not in line and b"\r" not in line, f"{what} has a line without CR LF: {line!r}")
    return lines


def table_rows(data, fields=4):
    """The rows of a saved table as tuples of byte fields, after checking
    its header line."""
    lines = lines_of(data, "the table file")
    check(lines and lines[0] == TABLE_HEADER, f"the table's header is {lines[:1]!r}, expected {TABLE_HEADER!r}")
    rows = [tuple(line.split(b"\t")) for line in lines[1:]]
    for row in rows:
        check(len(row) == fields, f"a table row has {len(row)} fields, expected {fields}: {row!r}")
    return rows


def found_by_find(tree, *printf):
    """What find lists below `tree` (no folders), one entry per file: the
    path alone, or the fields of `printf` joined by tabs."""
    fmt = "\\t".join(printf or ("%p",)) + "\\0"
    out = subprocess.run(["find", str(tree), "-mindepth", "1", "!", "-type", "d", "-printf", fmt],
                         check=True, capture_output=True).stdout
    return [e for e in out.split(b"\0") if e]


def snapshot(tree):
    """Every entry below `tree` with its kind and size."""
    return set(found_by_find(tree, "%p", "%y", "%s"))


def search(s, p):
    """Presses Alt+s and waits for the search to end without a message."""
    s.keys(p.window, "alt+s")
    s.expect_no_dialog(p, "the search")


SORT_BY_SIZE = 5  # entries of the sort menu: folder, name, extension, date, size


def sort_by_size(s, p):
    s.grid_focus(p)
    s.context_menu(p, SORT_BY_SIZE)
    s.expect_no_dialog(p, "sorting by size")


def select_row(s, p, row):
    """Selects data row `row` (1 = the first) by keyboard."""
    s.grid_focus(p)
    s.keys(p.window, "ctrl+Home", *(["Down"] * (row - 1)))
    p.wait_idle()


# -- the tests ----------------------------------------------------------------

def test_search(s):
    """A search lists what find lists; the saved path list equals find's."""
    t = s.tree
    make_file(t / "Brief.TXT", b"Sehr geehrte Damen und Herren\n")
    make_file(t / "leer", b"")
    make_file(t / "mit Leerzeichen und Ümlaut ä.odt", b"x" * 100)
    make_file(t / ".versteckt", b"hidden")
    make_file(t / ".versteckter Ordner" / "innen.txt", b"1")
    make_file(t / "Alt" / "Älter" / "Ältest" / "tief.dat", os.urandom(5000))
    make_file(t / "Alt" / "punkt.", b"name ends in a dot")
    make_file(t / "leerer Ordner" / ".keep", b"")
    (t / "ganz leer").mkdir()
    make_file(os.fsencode(t / "Alt") + b"/caf\xe9-latin1.txt", b"not UTF-8 in the name")
    os.symlink("Brief.TXT", t / "verweis auf Brief")
    os.symlink("Alt", t / "verweis auf Ordner")  # listed as an entry, not walked
    os.mkfifo(t / "röhre")
    # Far below the depth at which the paths outgrow the system's limit.
    make_chain(t / "tief", 300, 50)
    out = s.tmp / "out"
    out.mkdir()

    p = s.start()
    search(s, p)
    listed = lines_of(s.save_through_dialog(p, "alt+d", out / "liste.txt"), "the list file")
    expected = found_by_find(t)
    short = lambda paths: sorted(e[:60] + b"..." + e[-60:] if len(e) > 150 else e for e in paths)
    check(sorted(listed) == sorted(expected),
          "the saved list differs from find's:\n  only in the list: "
          f"{short(set(listed) - set(expected))}\n  only in find's: {short(set(expected) - set(listed))}"
          f"\n  {len(listed)} lines, find lists {len(expected)}")
    check(max(len(e) for e in listed) > 9000, "the list holds no path beyond the system's limit")
    s.keys(p.window, "alt+b")
    check(p.wait_exit() == 0, f"the program ended with code {p.proc.returncode}")


def test_criteria(s):
    """Alt+K opens the further criteria with the phrase field focused; a
    phrase typed there and Return make the next search list exactly the
    files grep finds with that phrase, ignoring case."""
    t = s.tmp / "suche"  # not the tree the program starts in, so the list is not in it
    make_file(t / "Rechnung Mai.txt", b"Ihre RECHNUNG Nr. 4711\n")
    make_file(t / "Briefe" / "mahnung.txt", b"zur rechnung vom 1. Mai\n")
    make_file(t / "Briefe" / "angebot.txt", b"Sehr geehrte Damen und Herren\n")
    make_file(t / "Briefe" / ".notiz", b"Rechnungen sammeln")
    make_file(t / "tief" / "a" / "b" / "daten.bin", os.urandom(70000) + b"ReChNuNg" + os.urandom(70000))
    make_file(t / "Rech" / "nung.txt", b"Rech nung")
    make_file(t / "leer.txt", b"")
    out = s.tmp / "out"
    out.mkdir()

    p = s.start(cwd=t)
    s.keys(p.window, "alt+k")
    dialog = s.wait_for("the dialog \"Weitere Suchkriterien\"",
                        lambda: s.find_windows("Weitere Suchkriterien"), p)[0]
    p.wait_idle()
    s.focus(dialog)
    s.type_text("rechnung")  # lands in "Enthält Text", which has the focus
    s.keys(dialog, "Return")
    s.wait_for("the dialog to close", lambda: not s.find_windows("Weitere Suchkriterien"), p)
    p.wait_idle()
    search(s, p)
    listed = lines_of(s.save_through_dialog(p, "alt+d", out / "liste.txt"), "the list file")
    grep = subprocess.run(["grep", "-rliF", "rechnung", str(t)], capture_output=True, check=True,
                          env=dict(os.environ, LC_ALL="C.UTF-8")).stdout.split(b"\n")
    expected = sorted(e for e in grep if e)
    check(len(expected) == 4, f"the tree should hold 4 files with the phrase, grep lists {expected}")
    check(sorted(listed) == expected, f"the saved list {sorted(listed)} differs from grep's {expected}")
    s.keys(p.window, "alt+b")
    check(p.wait_exit() == 0, f"the program ended with code {p.proc.returncode}")
    stored = read_settings(s)
    check(stored.get("Text") == "rechnung", f"the phrase was not kept in the settings: {stored}")


def test_sort(s):
    """The context menu sorts by size; the saved table is in size order and
    holds find's paths, sizes and dates."""
    t = s.tree
    sizes = [4711, 0, 12, 1000, 999, 12, 100000, 7, 65536, 12]
    names = []
    for i, size in enumerate(sizes):
        path = make_file(t / ("a" if i % 2 else "b") / f"datei{i:02d}.bin", os.urandom(size))
        names.append(path)
    big = t / "b" / "riesig.img"
    with open(big, "wb") as f:
        f.truncate(5 * 2**30 + 3)  # sparse: 5 GiB and a bit, a ten-digit size
    # A known time: 31.12.2004 13:45:10 and a midnight, in UTC (the program runs with TZ=UTC).
    os.utime(names[0], (1104500710, 1104500710))
    os.utime(names[1], (1104451200, 1104451200))
    out = s.tmp / "out"
    out.mkdir()

    p = s.start(extra_env={"TZ": "UTC"})
    search(s, p)
    sort_by_size(s, p)
    rows = table_rows(s.save_through_dialog(p, "alt+t", out / "tabelle.txt"))
    sizes_listed = [int(r[3]) for r in rows]
    check(sizes_listed == sorted(sizes_listed), f"the sizes are not in ascending order: {sizes_listed}")
    for a, b in zip(rows, rows[1:]):
        if a[3] == b[3]:
            check((a[0], a[1]) <= (b[0], b[1]), f"rows of equal size not ordered by folder and name: {a}, {b}")
    got = sorted(r[0] + r[1] + b"\t" + r[3] for r in rows)
    expected = sorted(found_by_find(t, "%p", "%s"))
    check(got == expected, f"the table's paths and sizes differ from find's:\n  {got}\n  {expected}")
    dates = {r[0] + r[1]: r[2] for r in rows}
    for path, text in ((names[0], b"31.12.2004 13:45:10"), (names[1], b"31.12.2004")):
        check(dates[os.fsencode(path)] == text, f"{path} shows the date {dates[os.fsencode(path)]!r}, expected {text!r}")
    s.keys(p.window, "alt+b")
    check(p.wait_exit() == 0, f"the program ended with code {p.proc.returncode}")


def jdupes_groups(tree, min_size):
    """jdupes' sets of equal files below `tree` of at least `min_size` bytes."""
    check(shutil.which("jdupes"), "jdupes is not installed (scripts/setup.sh installs it)")
    out = subprocess.run(["jdupes", "-r", "-q", str(tree)], check=True, capture_output=True).stdout
    groups = set()
    for block in out.split(b"\n\n"):
        files = frozenset(line for line in block.split(b"\n") if line)
        if files and os.path.getsize(next(iter(files))) >= min_size:
            groups.add(files)
    return groups


def test_duplicates(s):
    """The duplicate view of a tree with real duplicates, saved as a table,
    reports exactly the groups jdupes finds (sizes of 1000 bytes and more);
    "Löschen" from its context menu removes the one chosen copy."""
    t = s.tree
    a = os.urandom(5000)
    for path in ("a1.dat", "Kopien/a2.dat", "Kopien/tiefer/a3 kopie.dat"):
        make_file(t / path, a)
    b = os.urandom(1000)  # the smallest size that counts
    make_file(t / "b1.bin", b)
    make_file(t / "Kopien/b2.bin", b)
    c = os.urandom(999)  # below the bound: never reported
    make_file(t / "c1.bin", c)
    make_file(t / "Kopien/c2.bin", c)
    d = os.urandom(1 << 20)
    make_file(t / "gross/d1.iso", d)
    make_file(t / "gross/d2.iso", d)
    e = os.urandom(4096)  # same size, one byte different
    make_file(t / "e1.txt", e)
    make_file(t / "e2.txt", e[:-1] + bytes([e[-1] ^ 1]))
    f = os.urandom(2048)  # same size, the same words in another order
    make_file(t / "f1.txt", f)
    make_file(t / "f2.txt", f[4:8] + f[:4] + f[8:])
    make_file(t / "h1.dat", os.urandom(3000))
    os.link(t / "h1.dat", t / "h2.dat")  # one file under two names
    for i in range(3):
        make_file(t / f"leer{i}", b"")
    out = s.tmp / "out"
    out.mkdir()

    p = s.start()
    search(s, p)
    s.keys(p.window, "alt+z")
    s.expect_no_dialog(p, "the duplicate scan")
    rows = table_rows(s.save_through_dialog(p, "alt+t", out / "duplikate.txt"), fields=5)
    groups = {}
    for r in rows:
        groups.setdefault((r[3], r[4]), set()).add(r[0] + r[1])
    got = {frozenset(g) for g in groups.values()}
    expected = jdupes_groups(t, 1000)
    check(got == expected, f"the duplicate view's groups differ from jdupes':\n  ours:   "
          f"{sorted(sorted(g) for g in got)}\n  jdupes: {sorted(sorted(g) for g in expected)}")
    for r in rows:
        path = r[0] + r[1]
        check(int(r[4]) == xorsum(path), f"{path!r} shows the checksum {r[4]!r}, "
              f"computed apart it is {xorsum(path)}")

    # Delete one copy of a through the view's context menu.
    victim = os.fsencode(t / "Kopien/a2.dat")
    row = next(i for i, r in enumerate(rows, 1) if r[0] + r[1] == victim)
    before = snapshot(t)
    select_row(s, p, row)
    s.keys(p.window, "Menu")
    p.wait_idle()
    s.x("xdotool", "key", "Down", "Return")
    s.expect_no_dialog(p, "Löschen")
    gone = {e for e in before - snapshot(t)}
    check([e.split(b"\t")[0] for e in gone] == [victim],
          f"Löschen on row {row} removed {sorted(gone)}, expected {victim!r} alone")
    check(snapshot(t) == before - gone, "Löschen changed more than the one file")
    s.keys(p.window, "alt+b")
    check(p.wait_exit() == 0, f"the program ended with code {p.proc.returncode}")


def test_delete(s):
    """The Delete key removes the selected row's file and nothing else; a
    read-only file and the target of a symbolic link stay."""
    t = s.tree
    make_file(t / "erster.txt", os.urandom(10))
    make_file(t / "zweiter.txt", os.urandom(20))
    make_file(t / "weg damit.txt", os.urandom(30))
    make_file(t / "Unterordner" / "vierter.txt", os.urandom(40))
    readonly = make_file(t / "schreibgeschützt.txt", os.urandom(50))
    readonly.chmod(0o444)
    make_file(t / "ziel-der-verknuepfung.dat", os.urandom(60))
    changed = make_file(t / "danach geändert.txt", os.urandom(70))
    os.symlink("ziel-der-verknuepfung.dat", t / "verknuepfung")  # size 25
    out = s.tmp / "out"
    out.mkdir()

    p = s.start()
    search(s, p)
    sort_by_size(s, p)
    rows = table_rows(s.save_through_dialog(p, "alt+t", out / "vorher.txt"))
    order = [r[0] + r[1] for r in rows]

    # Right after the sort no row is highlighted: Delete removes nothing.
    before = snapshot(t)
    s.keys(p.window, "Delete")
    s.expect_no_dialog(p, "Delete with no highlighted row")
    check(snapshot(t) == before, f"Delete with no highlighted row changed {sorted(before ^ snapshot(t))}")

    def delete_row_of(name, refusal=None):
        path = os.fsencode(t / name)
        before = snapshot(t)
        select_row(s, p, order.index(path) + 1)
        s.keys(p.window, "Delete")
        if refusal:
            s.answer_message(p, refusal)
        s.expect_no_dialog(p, f"Delete on {name}")
        return before, snapshot(t)

    before, after = delete_row_of("weg damit.txt")
    check({e.split(b"\t")[0] for e in before - after} == {os.fsencode(t / "weg damit.txt")} and after < before,
          f"Delete removed {sorted(before - after)}, expected the selected file alone")
    before, after = delete_row_of("schreibgeschützt.txt")
    check(after == before, f"Delete on a read-only file changed {sorted(before ^ after)}")
    # Rewritten after the search (same size, new content and time): the row
    # no longer names the file that was listed, so it stays, and a message
    # says why.
    changed.write_bytes(os.urandom(70))
    os.utime(changed, (1104500710, 1104500710))
    before, after = delete_row_of("danach geändert.txt", refusal="Fehler")
    check(after == before, f"Delete on a file changed after the search changed {sorted(before ^ after)}")
    before, after = delete_row_of("verknuepfung")
    check({e.split(b"\t")[0] for e in before - after} == {os.fsencode(t / "verknuepfung")} and after < before,
          f"Delete on a symbolic link removed {sorted(before - after)}, expected the link alone")

    rows_after = table_rows(s.save_through_dialog(p, "alt+t", out / "nachher.txt"))
    check(len(rows_after) == len(rows), f"the table has {len(rows_after)} rows after deleting, {len(rows)} before")
    for old, new in zip(rows, rows_after):
        if old[0] + old[1] in (os.fsencode(t / "weg damit.txt"), os.fsencode(t / "verknuepfung")):
            check(new == (b"",) * 4, f"the row of a deleted file still reads {new!r}")
        else:
            check(new == old, f"a row changed from {old!r} to {new!r}")
    s.keys(p.window, "alt+b")
    check(p.wait_exit() == 0, f"the program ended with code {p.proc.returncode}")


def state_of(root, skip=()):
    """Every entry below `root` (names not in `skip` at its top) with its
    kind, mode, size, time of last write, time of last change and the digest
    of its bytes. The time of last access is left out: the duplicate scan
    must read the files."""
    entries = {}
    for folder, dirs, files in os.walk(os.fsencode(root)):
        if folder == os.fsencode(root):
            dirs[:] = [d for d in dirs if d not in skip]
            files = [f for f in files if f not in skip]
        for name in dirs + files:
            path = os.path.join(folder, name)
            st = os.lstat(path)
            digest = None
            if stat.S_ISREG(st.st_mode):
                with open(path, "rb") as f:
                    digest = hashlib.sha256(f.read()).hexdigest()
            entries[path] = (st.st_mode, st.st_size, st.st_mtime_ns, st.st_ctime_ns, digest)
    return entries


def test_untouched(s):
    """Searching, sorting, the duplicate scan and saving change no file's
    bytes or times and create nothing but the files named in the save
    dialog. Started in a folder whose name is not UTF-8, the dialog saves a
    typed name without an extension there as typed, and replaces an existing
    file without a question."""
    home = os.fsencode(s.tree) + b"/Ablage caf\xe9"
    t = Path(os.fsdecode(home))
    copy = os.urandom(3000)
    for name in (b"a.dat", b"Kopie/a.dat", b"Kopie/ vorn und hinten .dat", b"ung\xfcltig.dat"):
        make_file(home + b"/" + name, copy)
    make_file(t / "anders.dat", os.urandom(3000))
    make_file(t / "klein.txt", b"klein")
    ro = make_file(t / "nur lesen.txt", os.urandom(2000))
    ro.chmod(0o444)
    os.symlink("a.dat", t / "verweis")
    os.mkfifo(t / "röhre")
    old = make_file(s.tmp / "out" / "alt.txt", b"was vorher hier stand\r\n")
    os.utime(t, (1104500710, 1104500710))
    # Not looked at: the runtime folder, the harness's logs, and the settings
    # folder (the program's own store, and the file in which Qt's save dialog
    # keeps the folders it visited).
    skip = {b"runtime", b"config", b"program-1.log", b"xvfb.log"}
    before = state_of(s.tmp, skip)

    p = s.start(cwd=t)
    search(s, p)
    sort_by_size(s, p)
    s.keys(p.window, "alt+z")
    s.expect_no_dialog(p, "the duplicate scan")
    # A name typed without a folder lands in the dialog's folder, the one the
    # program started in, whose name is not UTF-8; no extension is added.
    table = table_rows(s.save_through_dialog(p, "alt+t", home + b"/ergebnis", typed="ergebnis"), fields=5)
    check(len(table) == 6, f"the duplicate view has {len(table)} rows, expected 6: {table}")
    lines_of(s.save_through_dialog(p, "alt+d", old, replaces=True), "the replaced list file")
    after = state_of(s.tmp, skip)

    named = {home + b"/ergebnis", os.fsencode(old)}
    created = sorted(set(after) - set(before) - named)
    check(not created, f"the program created {created}")
    gone = sorted(set(before) - set(after))
    check(not gone, f"the program removed {gone}")
    # The folders of the named targets change as the targets are written.
    folders = {os.path.dirname(n) for n in named}
    changed = sorted(path for path in before
                     if path not in named | folders and before[path] != after[path])
    check(not changed, "the program changed " + ", ".join(f"{c!r}: {before[c]} -> {after[c]}" for c in changed))
    s.keys(p.window, "alt+b")
    check(p.wait_exit() == 0, f"the program ended with code {p.proc.returncode}")


def test_cleanup(s):
    """Keeping the first row of each group of the duplicate view and deleting
    the others leaves a copy of every group: with a folder bound a second
    time inside the tree, and with a copy removed by another program after
    the scan (the refusal names the last copy)."""
    t = s.tree
    x = os.urandom(3000)
    make_file(t / "a" / "x.dat", x)
    make_file(t / "c" / "y.dat", x)
    z = os.urandom(4000)
    for path in ("p/1.dat", "q/2.dat", "r/3.dat"):
        make_file(t / path, z)
    bound = None
    if os.geteuid() == 0:
        (t / "bind").mkdir()
        if subprocess.run(["mount", "--bind", str(t / "a"), str(t / "bind")],
                          capture_output=True).returncode == 0:
            bound = t / "bind"
    out = s.tmp / "out"
    out.mkdir()
    try:
        p = s.start()
        search(s, p)
        s.keys(p.window, "alt+z")
        s.expect_no_dialog(p, "the duplicate scan")
        rows = table_rows(s.save_through_dialog(p, "alt+t", out / "duplikate.txt"), fields=5)
        # Each directory entry once (a file matching both neighbours stands
        # twice, as the same path side by side).
        paths = [r[0] + r[1] for r in rows]
        distinct = [q for i, q in enumerate(paths) if i == 0 or q != paths[i - 1]]
        entries = [(os.stat(os.path.dirname(q)).st_dev, os.stat(os.path.dirname(q)).st_ino,
                    os.path.basename(q)) for q in distinct]
        check(len(entries) == len(set(entries)), f"one directory entry is listed twice: {paths}")
        # Another program removes the first copy of the second group.
        os.unlink(t / "p/1.dat")
        first_of_group = {}
        for i, r in enumerate(rows, 1):
            first_of_group.setdefault((r[3], r[4]), i)
        for i, r in enumerate(rows, 1):
            if first_of_group[(r[3], r[4])] == i:
                continue
            select_row(s, p, i)
            s.keys(p.window, "Menu")
            p.wait_idle()
            s.x("xdotool", "key", "Down", "Return")
            p.wait_idle()
            if r[0] + r[1] == os.fsencode(t / "r/3.dat"):
                s.answer_message(p, "Fehler")
            s.expect_no_dialog(p, f"Löschen on row {i}")
        s.keys(p.window, "alt+b")
        check(p.wait_exit() == 0, f"the program ended with code {p.proc.returncode}")
    finally:
        if bound:
            subprocess.run(["umount", str(bound)], check=False)
    check((t / "a/x.dat").exists(), "the kept copy a/x.dat is gone")
    check(not (t / "c/y.dat").exists(), "c/y.dat, a surplus copy, is still there")
    check((t / "r/3.dat").exists(), "r/3.dat, the last copy of its group, was deleted")
    check(not (t / "q/2.dat").exists(), "q/2.dat, a surplus copy, is still there")


def write_settings(session, last_dir):
    session.settings_file.parent.mkdir(parents=True, exist_ok=True)
    session.settings_file.write_text(
        "[General]\nWinMainTop=0\nWinMainLeft=0\nWinMainHeight=700\nWinMainWidth=900\n"
        f"LastDir={last_dir}\n", encoding="utf-8")


def close_and_read_last_dir(s, p):
    """Closes the window with Beenden; the folder it stored is the tree's
    selection at the close."""
    s.keys(p.window, "alt+b")
    check(p.wait_exit() == 0, f"Beenden ended the program with code {p.proc.returncode}")
    return read_settings(s).get("LastDir")


def test_folder_argument(s):
    """`trawlix FOLDER` starts there whatever the settings hold: the tree
    selects it and the first search searches it. A path that names no
    folder is told on standard error and the stored folder is used."""
    given = s.home / "Meine Dokumente"
    make_file(given / "Brief an Jürgen.odt", b"x" * 10)
    make_file(given / "Steuer" / "2025.pdf", b"y" * 20)
    stored = s.tree / "gespeichert"
    make_file(stored / "alt.txt", b"z")
    plain = make_file(s.tree / "datei.txt", b"keine Ordner")
    out = s.tmp / "out"
    out.mkdir()

    write_settings(s, stored)
    p = s.start(args=[given])
    search(s, p)
    listed = lines_of(s.save_through_dialog(p, "alt+d", out / "liste.txt"), "the list file")
    check(sorted(listed) == sorted(found_by_find(given)),
          f"the first search listed {sorted(listed)}, find lists {sorted(found_by_find(given))}")
    check(close_and_read_last_dir(s, p) == str(given),
          f"the tree's selection at the close was {read_settings(s).get('LastDir')!r}, expected {str(given)!r}")

    for arg, message in ((plain, f"trawlix: „{plain}“ ist kein Verzeichnis."),
                         (s.tree / "fehlt", f"trawlix: „{s.tree / 'fehlt'}“ gibt es nicht.")):
        write_settings(s, stored)
        p = s.start(args=[arg])
        check(message in p.output(), f"started with {arg}: the program said {p.output()!r}, expected {message!r}")
        check(close_and_read_last_dir(s, p) == str(stored),
              f"started with {arg}: the tree showed {read_settings(s).get('LastDir')!r}, expected the stored {str(stored)!r}")


def test_command_line(s):
    """--version, --help and usage errors answer on the terminal, with no
    display at all, and open no window."""
    cmake = (Path(__file__).resolve().parents[2] / "CMakeLists.txt").read_text()
    version = next(line.split()[2] for line in cmake.splitlines() if line.startswith("project(Trawlix VERSION "))
    env = {"PATH": os.environ.get("PATH", ""), "HOME": str(s.home), "LC_ALL": "C.UTF-8"}
    cases = [
        (["--version"], 0, f"Trawlix {version}\n", ""),
        (["--help"], 0, "Aufruf: trawlix [OPTION] [VERZEICHNIS]\n", ""),
        (["-h", "--frob"], 0, "Aufruf: trawlix", ""),
        (["--frob"], 2, "", "trawlix: unbekannte Option „--frob“\nAufruf: trawlix [OPTION] [VERZEICHNIS]\n"),
        ([str(s.tree), str(s.home)], 2, "", "trawlix: nur ein Verzeichnis kann angegeben werden\nAufruf: trawlix"),
    ]
    for args, code, stdout, stderr in cases:
        r = subprocess.run([s.program, *args], env=env, capture_output=True, text=True, stdin=subprocess.DEVNULL)
        check(r.returncode == code, f"trawlix {' '.join(args)} ended with {r.returncode}, expected {code}: {r.stderr!r}")
        check(r.stdout.startswith(stdout) and bool(r.stdout) == bool(stdout),
              f"trawlix {' '.join(args)} printed {r.stdout!r}, expected {stdout!r}")
        check(r.stderr.startswith(stderr) and bool(r.stderr) == bool(stderr),
              f"trawlix {' '.join(args)} printed on standard error {r.stderr!r}, expected {stderr!r}")
    usage = subprocess.run([s.program, "--help"], env=env, capture_output=True, text=True).stdout
    check(subprocess.run([s.program, "--frob"], env=env, capture_output=True, text=True).stderr.endswith(usage),
          "a usage error does not print the same usage as --help")


def test_trash(s):
    """In the duplicate view one row goes to the desktop's trash through the
    context menu, then "Alle Kopien außer der ersten in den Papierkorb…"
    keeps the first file of every group after its question; every other
    file lies in the trash with its .trashinfo. With TRAWLIX_E2E_SHOTS set
    to a folder, screenshots of the steps land there."""
    t = s.tree
    a = os.urandom(5000)
    odd = os.fsencode(t / "Kopien") + b"/b\xe4d name.dat"  # not UTF-8 (a tab would split the saved table)
    for path in (os.fsencode(t / "a1.dat"), os.fsencode(t / "Kopien/a2.dat"), odd,
                 os.fsencode(t / "Kopien/tiefer/a4.dat")):
        make_file(path, a)
    b = os.urandom(3000)
    make_file(t / "b1.bin", b)
    make_file(t / "Sicherung/b2.bin", b)
    make_file(t / "einzeln.dat", os.urandom(5000))
    out = s.tmp / "out"
    out.mkdir()
    trash = s.home / "data" / "Trash"
    shots = os.environ.get("TRAWLIX_E2E_SHOTS")

    def shoot(p, name, root=False):
        if shots:
            p.wait_idle()
            s.x("import", "-window", "root" if root else str(p.window), str(Path(shots) / name))

    p = s.start(extra_env={"LC_ALL": "de_DE.UTF-8"})
    search(s, p)
    s.keys(p.window, "alt+z")
    s.expect_no_dialog(p, "the duplicate scan")
    rows = table_rows(s.save_through_dialog(p, "alt+t", out / "duplikate.txt"), fields=5)
    paths = [r[0] + r[1] for r in rows]
    shoot(p, "trash-1-groups.png")

    # One row to the trash: the second copy of a.
    victim = os.fsencode(t / "Kopien/a2.dat")
    select_row(s, p, paths.index(victim) + 1)
    s.keys(p.window, "Menu")
    p.wait_idle()
    s.x("xdotool", "key", "--delay", "40", "Down", "Down", "Return")
    s.expect_no_dialog(p, "In den Papierkorb verschieben")
    check(not os.path.lexists(victim), "the row's file is still in its place")
    check((trash / "files" / "a2.dat").read_bytes() == a, "the file is not in the trash")
    info = (trash / "info" / "a2.dat.trashinfo").read_text()
    check(f"Path={t}/Kopien/a2.dat" in info, f"the trash does not know where it came from: {info!r}")
    shoot(p, "trash-2-one-row.png")

    # Keep the first of each group.
    s.keys(p.window, "Menu")
    p.wait_idle()
    s.x("xdotool", "key", "--delay", "40", "Down", "Down", "Down", "Return")
    box = s.wait_for("the question", lambda: s.find_windows("Bestätigung"), p)[0]
    shoot(p, "trash-3-question.png", root=True)
    s.keys(box, "alt+v")
    s.wait_for("the question to close", lambda: not s.find_windows("Bestätigung"), p)
    s.wait_for("the closing message", lambda: s.find_windows("Informationen"), p)
    shoot(p, "trash-4-done.png", root=True)
    s.answer_message(p, "Informationen")

    firsts = {}
    for r, path in zip(rows, paths):
        if path != victim:  # already in the trash: the next row is the group's first
            firsts.setdefault((r[3], r[4]), path)
    kept = set(firsts.values())
    for path in set(paths):
        check(os.path.lexists(path) == (path in kept), f"{path!r} is {'gone' if path in kept else 'still there'}")
    check(os.path.exists(t / "einzeln.dat"), "a file without copies went")
    trashed = sorted(os.listdir(os.fsencode(trash / "files")))
    expected = sorted(os.path.basename(x) for x in set(paths) - kept)
    check(trashed == expected, f"the trash holds {trashed}, expected {expected}")
    infos = sorted(os.listdir(os.fsencode(trash / "info")))
    check(infos == sorted(n + b".trashinfo" for n in expected), f"the trash's info files are {infos}")
    s.keys(p.window, "alt+b")
    check(p.wait_exit() == 0, f"the program ended with code {p.proc.returncode}")


TESTS = {
    "settings": test_settings,
    "first_start": test_first_start,
    "arguments": test_folder_argument,
    "commandline": test_command_line,
    "search": test_search,
    "criteria": test_criteria,
    "sort": test_sort,
    "duplicates": test_duplicates,
    "delete": test_delete,
    "trash": test_trash,
    "cleanup": test_cleanup,
    "untouched": test_untouched,
}

if __name__ == "__main__":
    harness.run(TESTS)
