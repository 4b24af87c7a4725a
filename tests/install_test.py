#!/usr/bin/env python3
"""What `cmake --install` and the .deb put on the disk.

Usage: install_test.py BUILD_DIR {layout|deb}
  layout: installs into a temporary prefix and checks the program, the
          desktop entry (desktop-file-validate) and the icon.
  deb:    runs CPack into a temporary folder and checks the package's files
          and that each of its dependencies is a Debian package installed here.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from pathlib import Path

FILES = ["bin/trawlix", "share/applications/trawlix.desktop",
         "share/icons/hicolor/scalable/apps/trawlix.svg"]


def fail(message):
    sys.exit(f"FAILED: {message}")


def run(*args, **kw):
    r = subprocess.run(list(args), capture_output=True, text=True, **kw)
    if r.returncode != 0:
        fail(f"{' '.join(map(str, args))} failed ({r.returncode}):\n{r.stdout}{r.stderr}")
    return r.stdout


def desktop_entry(path):
    values = {}
    for line in Path(path).read_text(encoding="utf-8").splitlines():
        key, sep, value = line.partition("=")
        if sep:
            values[key] = value
    return values


def check_layout(build):
    with tempfile.TemporaryDirectory(prefix="trawlix-install-") as prefix:
        run("cmake", "--install", build, "--prefix", prefix)
        root = Path(prefix)
        for f in FILES:
            if not (root / f).is_file():
                fail(f"{f} is missing under the prefix")
        if not os.access(root / FILES[0], os.X_OK):
            fail("the installed program is not executable")
        if not shutil.which("desktop-file-validate"):
            fail("desktop-file-validate is not installed (desktop-file-utils; scripts/setup.sh installs it)")
        out = run("desktop-file-validate", root / FILES[1])
        if out.strip():
            fail(f"desktop-file-validate: {out}")
        entry = desktop_entry(root / FILES[1])
        if entry.get("Exec", "").split()[:1] != ["trawlix"]:
            fail(f"the entry runs {entry.get('Exec')!r}, the program is bin/trawlix")
        if entry.get("Icon") != Path(FILES[2]).stem:
            fail(f"the entry names the icon {entry.get('Icon')!r}, installed is {Path(FILES[2]).name}")
        for key in ("Name", "GenericName", "Comment"):
            if not entry.get(key):
                fail(f"the entry has no {key}")
        svg = ET.parse(root / FILES[2]).getroot()
        if svg.tag != "{http://www.w3.org/2000/svg}svg":
            fail(f"the icon is no SVG image (root element {svg.tag})")
    print("install layout ok")


def check_deb(build):
    with tempfile.TemporaryDirectory(prefix="trawlix-deb-") as out:
        run("cpack", "-G", "DEB", "--config", str(Path(build) / "CPackConfig.cmake"), "-B", out)
        debs = list(Path(out).glob("trawlix_*.deb"))
        if len(debs) != 1:
            fail(f"CPack made {debs}, expected one trawlix_*.deb")
        deb = debs[0]
        listed = sorted(line.split()[-1].lstrip(".") for line in run("dpkg-deb", "-c", deb).splitlines()
                        if not line.startswith("d"))
        expected = sorted("/usr/" + f for f in FILES)
        if listed != expected:
            fail(f"the package holds {listed}, expected {expected}")
        depends = run("dpkg-deb", "-f", deb, "Depends").strip()
        names = [re.split(r"[\s(]", d.strip())[0] for d in depends.split(",") if d.strip()]
        for needed in ("libqt6widgets6", "libglib2.0-0", "libqt6svg6", "qt6-translations-l10n", "xdg-utils"):
            if needed not in names:
                fail(f"the package does not depend on {needed}: {depends}")
        for name in names:
            r = subprocess.run(["dpkg-query", "-W", "-f", "${Status}", name], capture_output=True, text=True)
            if "install ok installed" not in r.stdout:
                fail(f"the dependency {name} is no Debian package installed on this machine")
    print(f"package ok: Depends: {depends}")


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[2] not in ("layout", "deb"):
        sys.exit(f"usage: {sys.argv[0]} BUILD_DIR {{layout|deb}}")
    {"layout": check_layout, "deb": check_deb}[sys.argv[2]](sys.argv[1])
