#!/usr/bin/env python3
"""Makes the README's screenshots from the program as it is built now.

Usage: scripts/screenshots.py PROGRAM [OUT_DIR]   (OUT_DIR defaults to docs/)

Starts PROGRAM in an X server of its own (the end-to-end harness), on a
generated folder of documents, photos and copies (DEMO, default
/srv/Ablage: a short path reads well in the pictures; it must not exist
and is removed again at the end), started in that folder for the first
time (no settings yet: the window opens at its design size with the tree
on the folder); then
  screenshot.png             the list view after "Suche starten"
  screenshot-duplicates.png  the duplicate view after "zeige Duplikate"
Needs ImageMagick's `import` (apt-get install imagemagick).
"""

import os
import random
import shutil
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import harness  # noqa: E402

FOLDERS = {
    "": ["Lebenslauf.pdf", "Steuererklärung 2023.pdf", "Zugangsdaten.txt"],
    "Dokumente/Rechnungen/2023": ["Rechnung_{n:04d}.pdf"] * 6,
    "Dokumente/Rechnungen/2024": ["Rechnung_{n:04d}.pdf"] * 5,
    "Dokumente/Briefe": ["Brief an Frau Müller.odt", "Kündigung Zeitung.odt", "Widerspruch.odt",
                         "Bewerbung.pdf"],
    "Dokumente/Verträge": ["Mietvertrag.pdf", "Handyvertrag.pdf", "Versicherung Hausrat.pdf"],
    "Fotos/Urlaub 2022": ["IMG_{n:04d}.jpg"] * 9,
    "Fotos/Geburtstag Oma": ["IMG_{n:04d}.jpg"] * 5,
    "Musik/Chor": ["Probe {n}.ogg"] * 3,
    "Notizen": ["Einkaufsliste.txt", "Ideen.md", "Übersicht Konten.ods", "Rezepte.txt"],
}
# Copies that the duplicate view finds: (folder, number of the file in it
# counted from 0, path of the copy).
COPIES = [
    ("Fotos/Urlaub 2022", 2, "Fotos/Sicherung/IMG_0003.jpg"),
    ("Fotos/Urlaub 2022", 3, "Fotos/Sicherung/IMG_0004.jpg"),
    ("Fotos/Urlaub 2022", 3, "Fotos/Sicherung/IMG_0004 (Kopie).jpg"),
    ("Fotos/Geburtstag Oma", 1, "Fotos/Sicherung/Oma 2.jpg"),
    ("Dokumente/Verträge", 0, "Dokumente/Briefe/Mietvertrag alt.pdf"),
    ("Dokumente/Rechnungen/2023", 1, "Downloads/Rechnung_0002.pdf"),
    ("Musik/Chor", 0, "Downloads/Probe 1.ogg"),
]


def make_tree(root):
    rng = random.Random(20240601)
    made = {}
    for folder, names in FOLDERS.items():
        for i, name in enumerate(names, 1):
            path = root / folder / name.format(n=i + 10 * len(made))
            made.setdefault(folder, []).append(path)
            path.parent.mkdir(parents=True, exist_ok=True)
            ext = path.suffix
            size = {".jpg": rng.randrange(800_000, 4_500_000), ".ogg": rng.randrange(2_000_000, 9_000_000),
                    ".pdf": rng.randrange(40_000, 400_000)}.get(ext, rng.randrange(300, 30_000))
            path.write_bytes(rng.randbytes(size))
            stamp = time.mktime((rng.randrange(2019, 2025), rng.randrange(1, 13), rng.randrange(1, 29),
                                 rng.randrange(7, 22), rng.randrange(60), rng.randrange(60), 0, 0, -1))
            os.utime(path, (stamp, stamp))
    for folder, index, copy in COPIES:
        target = root / copy
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(made[folder][index], target)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    program = sys.argv[1]
    out = Path(sys.argv[2] if len(sys.argv) == 3 else ROOT / "docs").resolve()
    if not shutil.which("import"):
        sys.exit("ImageMagick's import is missing: apt-get install imagemagick")
    ablage = Path(os.environ.get("DEMO", "/srv/Ablage"))
    if ablage.exists():
        sys.exit(f"{ablage} exists; name a folder that does not with DEMO=...")
    try:
        make_tree(ablage)
        with harness.Session(program, "screenshots") as s:
            take_screenshots(s, ablage, out)
    finally:
        shutil.rmtree(ablage, ignore_errors=True)


def take_screenshots(s, ablage, out):
    p = s.start(cwd=ablage, extra_env={"LC_ALL": "de_DE.UTF-8"})

    def shoot(name):
        p.wait_idle()
        s.x("import", "-window", str(p.window), str(out / name))
        print(f"wrote {out / name}")

    s.keys(p.window, "alt+s")
    s.expect_no_dialog(p, "the search")
    shoot("screenshot.png")
    s.keys(p.window, "alt+z")
    s.expect_no_dialog(p, "the duplicate scan")
    shoot("screenshot-duplicates.png")
    s.keys(p.window, "alt+b")
    p.wait_exit()

if __name__ == "__main__":
    try:
        main()
    except harness.Failure as e:
        sys.exit(f"FAILED: {e}")
