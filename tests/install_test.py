#!/usr/bin/env python3
"""What `cmake --install` and the .deb put on the disk.

Usage: install_test.py BUILD_DIR {layout|deb}
  layout: installs into a temporary prefix and checks every installed file.
  deb:    runs CPack into a temporary folder, checks the package's file list,
          its fields and dependencies, unpacks it and checks every file as
          for layout, and runs lintian on it (no error, no warning).

Every file is checked against what it must say, not only for being there:
the desktop entry (desktop-file-validate), the AppStream file (appstreamcli
validate --no-net), the manual pages (rendered by man with its warnings on),
the copyright file (machine-readable format), the changelog (the project's
own, compressed reproducibly), and all of them against the one version in
the top CMakeLists.txt.
"""

import gzip
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from pathlib import Path

SOURCE = Path(__file__).resolve().parent.parent
APP_ID = "org.example.trawlix"
BIN = "bin/trawlix"
DESKTOP = f"share/applications/{APP_ID}.desktop"
ICON = "share/icons/hicolor/scalable/apps/trawlix.svg"
METAINFO = f"share/metainfo/{APP_ID}.metainfo.xml"
MAN = {"en": "share/man/man1/trawlix.1.gz", "de": "share/man/de/man1/trawlix.1.gz"}
COPYRIGHT = "share/doc/trawlix/copyright"
CHANGELOG = "share/doc/trawlix/changelog.gz"
FILES = [BIN, DESKTOP, ICON, METAINFO, *MAN.values(), COPYRIGHT, CHANGELOG]

# The sections each manual page must have: the window, the keys, the files
# (the settings file among them) and the exit codes.
MAN_SECTIONS = {
    "en": ["NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "THE WINDOW", "KEYS", "FILES",
           "ENVIRONMENT", "EXIT STATUS"],
    "de": ["BEZEICHNUNG", "ÜBERSICHT", "BESCHREIBUNG", "OPTIONEN", "DAS FENSTER", "TASTEN",
           "DATEIEN", "UMGEBUNG", "EXIT-STATUS"],
}
MAN_MENTIONS = ["--help", "--version", "VD_Trawlix.conf", "LastDir", "Alt+S", "Alt+Z"]
XML_LANG = "{http://www.w3.org/XML/1998/namespace}lang"
MONTHS = "Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec".split()


def fail(message):
    sys.exit(f"FAILED: {message}")


def run(*args, **kw):
    r = subprocess.run([str(a) for a in args], capture_output=True, text=True, **kw)
    if r.returncode != 0:
        fail(f"{' '.join(map(str, args))} failed ({r.returncode}):\n{r.stdout}{r.stderr}")
    return r


def need(tool, package):
    if not shutil.which(tool):
        fail(f"{tool} is not installed (Debian package {package}; scripts/setup.sh installs it)")


def project_version():
    m = re.search(r"^project\(Trawlix VERSION ([0-9.]+)", (SOURCE / "CMakeLists.txt").read_text(), re.M)
    if not m:
        fail("no project version in CMakeLists.txt")
    return m.group(1)


def changelog_releases(text):
    """(version, YYYY-MM-DD) of each entry of a Debian-format changelog,
    newest first."""
    versions = re.findall(r"^trawlix \(([^)]+)\) \S+; urgency=\S+$", text, re.M)
    dates = []
    for day, month, year in re.findall(r"^ -- .+ <[^>]+>  \w{3}, (\d{1,2}) (\w{3}) (\d{4}) "
                                       r"\d\d:\d\d:\d\d [+-]\d{4}$", text, re.M):
        dates.append(f"{year}-{MONTHS.index(month) + 1:02d}-{int(day):02d}")
    if not versions or len(versions) != len(dates):
        fail(f"the changelog has {len(versions)} entry lines and {len(dates)} trailer lines")
    return list(zip(versions, dates))


def desktop_entry(path):
    values = {}
    for line in Path(path).read_text(encoding="utf-8").splitlines():
        key, sep, value = line.partition("=")
        if sep:
            values[key] = value
    return values


def check_gzip(path):
    """The decompressed bytes of a file that gzip -9n wrote: no name and no
    time in its header, so the package is reproducible (lintian asks for it)."""
    data = Path(path).read_bytes()
    if data[:2] != b"\x1f\x8b":
        fail(f"{path} is not compressed with gzip")
    flags, mtime = data[3], int.from_bytes(data[4:8], "little")
    if flags & 0x08 or mtime != 0:
        fail(f"{path} carries a file name or a time stamp in its gzip header")
    return gzip.decompress(data)


def check_desktop(root):
    need("desktop-file-validate", "desktop-file-utils")
    out = run("desktop-file-validate", root / DESKTOP).stdout
    if out.strip():
        fail(f"desktop-file-validate: {out}")
    entry = desktop_entry(root / DESKTOP)
    if entry.get("Exec") != "trawlix %f":
        fail(f"the entry runs {entry.get('Exec')!r}, expected 'trawlix %f' (a dropped folder opens there)")
    if "MimeType" in entry:
        fail(f"the entry claims MimeType={entry['MimeType']}: it would become a handler for those types")
    if entry.get("Icon") != Path(ICON).stem:
        fail(f"the entry names the icon {entry.get('Icon')!r}, installed is {Path(ICON).name}")
    for key in ("Name", "GenericName", "Comment"):
        if not entry.get(key):
            fail(f"the entry has no {key}")


def check_metainfo(root, version, releases):
    need("appstreamcli", "appstream")
    r = subprocess.run(["appstreamcli", "validate", "--no-net", "--pedantic", str(root / METAINFO)],
                       capture_output=True, text=True)
    issues = [line for line in (r.stdout + r.stderr).splitlines() if re.match(r"^\s*[EW]:", line)]
    if r.returncode != 0 or issues:
        fail(f"appstreamcli validate ({r.returncode}):\n{r.stdout}{r.stderr}")
    c = ET.parse(root / METAINFO).getroot()

    def texts(tag):
        return {e.get(XML_LANG, "en"): (e.text or "").strip() for e in c.findall(tag)}

    expected = {
        "id": APP_ID, "launchable": Path(DESKTOP).name, "provides/binary": Path(BIN).name,
        "project_license": "GPL-3.0-or-later", "name": "Trawlix",
    }
    for tag, value in expected.items():
        if texts(tag).get("en") != value:
            fail(f"the AppStream file's {tag} is {texts(tag).get('en')!r}, expected {value!r}")
    for tag in ("summary", "developer_name"):
        if not all(texts(tag).get(lang) for lang in ("en", "de")):
            fail(f"the AppStream file has no {tag} in English and German: {texts(tag)}")
    langs = {p.get(XML_LANG, "en") for p in c.findall("description/p")}
    if langs != {"en", "de"}:
        fail(f"the AppStream description is in {sorted(langs)}, expected English and German")
    got = [(r.get("version"), r.get("date")) for r in c.findall("releases/release")]
    if got != releases:
        fail(f"the AppStream releases are {got}, the changelog's entries {releases}")
    if got[0][0] != version:
        fail(f"the newest AppStream release is {got[0][0]}, the project version {version}")
    if c.find("content_rating") is None or len(c.findall("screenshots/screenshot")) < 2:
        fail("the AppStream file lacks its content rating or the README's two screenshots")


def check_man(root, version, release_date):
    need("man", "man-db")
    for lang, rel in MAN.items():
        source = check_gzip(root / rel).decode("utf-8")
        th = next((line for line in source.splitlines() if line.startswith(".TH ")), "")
        if f'"{release_date}" "Trawlix {version}"' not in th:
            fail(f"the {lang} manual page's title line {th!r} lacks the release {release_date} and version {version}")
        env = {"PATH": os.environ.get("PATH", ""), "LC_ALL": "C.UTF-8", "MANROFFSEQ": "", "MANWIDTH": "80"}
        r = run("man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", root / rel, env=env)
        if r.stderr.strip():
            fail(f"man warns about the {lang} manual page:\n{r.stderr}")
        text = run("man", "-l", root / rel, env=env).stdout
        headings = [line for line in text.splitlines() if re.match(r"^[A-ZÄÖÜ][A-ZÄÖÜ -]+$", line)]
        if headings[:len(MAN_SECTIONS[lang])] != MAN_SECTIONS[lang]:
            fail(f"the {lang} manual page has the sections {headings}, expected {MAN_SECTIONS[lang]} first")
        for word in MAN_MENTIONS:
            if word not in text:
                fail(f"the {lang} manual page does not mention {word}")


def check_copyright(root):
    text = (root / COPYRIGHT).read_text(encoding="utf-8")
    paragraphs = [p for p in text.split("\n\n") if p.strip()]
    fields = []
    for p in paragraphs:
        f = {}
        for line in p.splitlines():
            if not line.startswith((" ", "\t")):
                key, sep, value = line.partition(":")
                if not sep:
                    fail(f"the copyright file has a line that is no field: {line!r}")
                f[key] = value.strip()
        fields.append(f)
    if fields[0].get("Format") != "https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/":
        fail(f"the copyright file is not in the machine-readable format: {fields[0]}")
    files = [f for f in fields if "Files" in f]
    licences = {f["License"]: p for f, p in zip(fields, paragraphs) if "License" in f and "Files" not in f}
    if not files or files[0]["Files"] != "*" or files[0].get("License") != "GPL-3+":
        fail(f"the copyright file's first Files paragraph is {files[:1]}, expected '*' under GPL-3+")
    for f in files:
        if not f.get("Copyright") or f.get("License") not in licences:
            fail(f"the Files paragraph {f} lacks a copyright or a licence paragraph of its own")
    if "/usr/share/common-licenses/GPL-3" not in licences["GPL-3+"]:
        fail("the GPL-3+ licence paragraph does not refer to /usr/share/common-licenses/GPL-3")
    for f in files[1:]:
        for pattern in f["Files"].split():
            if not list(SOURCE.glob(pattern)):
                fail(f"the copyright file names {pattern}, which the repository does not hold")


def check_licence():
    licence = (SOURCE / "LICENSE").read_text(encoding="utf-8")
    if not licence.lstrip().startswith("GNU GENERAL PUBLIC LICENSE\n                       Version 3, 29 June 2007"):
        fail("LICENSE is not the GNU General Public License, version 3")
    common = Path("/usr/share/common-licenses/GPL-3")
    if common.exists() and common.read_text(encoding="utf-8") != licence:
        fail(f"LICENSE differs from {common}")


def check_tree(root, version):
    """Every installed file under root (a prefix, or usr/ of the package)."""
    for f in FILES:
        if not (root / f).is_file():
            fail(f"{f} is missing under {root}")
    if not os.access(root / BIN, os.X_OK):
        fail("the installed program is not executable")
    r = run(root / BIN, "--version", env={"PATH": os.environ.get("PATH", "")})
    if r.stdout != f"Trawlix {version}\n":
        fail(f"the installed program's --version says {r.stdout!r}, expected 'Trawlix {version}'")
    svg = ET.parse(root / ICON).getroot()
    if svg.tag != "{http://www.w3.org/2000/svg}svg":
        fail(f"the icon is no SVG image (root element {svg.tag})")
    check_desktop(root)

    changelog = check_gzip(root / CHANGELOG)
    if changelog != (SOURCE / "packaging" / "changelog").read_bytes():
        fail("the installed changelog is not packaging/changelog")
    releases = changelog_releases(changelog.decode("utf-8"))
    if releases[0][0] != version:
        fail(f"the changelog's newest entry is {releases[0][0]}, the project version {version}")
    check_metainfo(root, version, releases)
    check_man(root, version, releases[0][1])
    check_copyright(root)


def installed_files(root):
    return sorted(str(p.relative_to(root)) for p in Path(root).rglob("*") if not p.is_dir())


def check_layout(build):
    version = project_version()
    check_licence()
    with tempfile.TemporaryDirectory(prefix="trawlix-install-") as prefix:
        run("cmake", "--install", build, "--prefix", prefix)
        if installed_files(prefix) != sorted(FILES):
            fail(f"cmake --install put {installed_files(prefix)}, expected {sorted(FILES)}")
        check_tree(Path(prefix), version)
    print("install layout ok")


def check_deb(build):
    version = project_version()
    with tempfile.TemporaryDirectory(prefix="trawlix-deb-") as out:
        run("cpack", "-G", "DEB", "--config", Path(build) / "CPackConfig.cmake", "-B", out)
        debs = list(Path(out).glob("trawlix_*.deb"))
        if len(debs) != 1:
            fail(f"CPack made {debs}, expected one trawlix_*.deb")
        deb = debs[0]
        if deb.name != f"trawlix_{version}_{run('dpkg', '--print-architecture').stdout.strip()}.deb":
            fail(f"the package is named {deb.name}, its version should be {version}")
        if run("dpkg-deb", "-f", deb, "Version").stdout.strip() != version:
            fail(f"the package's Version field is not {version}")
        depends = run("dpkg-deb", "-f", deb, "Depends").stdout.strip()
        names = [re.split(r"[\s(]", d.strip())[0] for d in depends.split(",") if d.strip()]
        for needed in ("libqt6widgets6", "libglib2.0-0", "libqt6svg6", "qt6-translations-l10n", "xdg-utils"):
            if needed not in names:
                fail(f"the package does not depend on {needed}: {depends}")
        for name in names:
            r = subprocess.run(["dpkg-query", "-W", "-f", "${Status}", name], capture_output=True, text=True)
            if "install ok installed" not in r.stdout:
                fail(f"the dependency {name} is no Debian package installed on this machine")

        unpacked = Path(out) / "root"
        run("dpkg-deb", "-x", deb, unpacked)
        expected = sorted("usr/" + f for f in FILES)
        if installed_files(unpacked) != expected:
            fail(f"the package holds {installed_files(unpacked)}, expected {expected}")
        check_tree(unpacked / "usr", version)

        need("lintian", "lintian")
        r = subprocess.run(["lintian", "--tag-display-limit", "0", deb], capture_output=True, text=True)
        tags = [line for line in r.stdout.splitlines() if re.match(r"^[EW]: ", line)]
        if r.returncode != 0 or tags:
            fail(f"lintian ({r.returncode}):\n{r.stdout}{r.stderr}")
    print(f"package ok: Depends: {depends}")


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[2] not in ("layout", "deb"):
        sys.exit(f"usage: {sys.argv[0]} BUILD_DIR {{layout|deb}}")
    {"layout": check_layout, "deb": check_deb}[sys.argv[2]](sys.argv[1])
