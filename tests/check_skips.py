#!/usr/bin/env python3
"""Lists the skipped tests of a ctest JUnit report and exits 1 when a skip
is not expected or a skipped test failed too.

Usage: check_skips.py JUNIT_XML EXPECTED_SKIPS
"""

import fnmatch
import re
import sys
import xml.etree.ElementTree as ET


def expected_skips(path):
    entries = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith("#"):
                name, _, reason = line.partition(" ")
                entries.append((name, reason.strip()))
    return entries


def skip_reason(output):
    # GoogleTest prints "FILE:LINE: Skipped", then the reason, then the marker.
    m = re.search(r": Skipped\n(.*?)\n\[  SKIPPED \]", output, re.S)
    return m.group(1).strip() if m else ""


def main():
    report, listing = sys.argv[1], sys.argv[2]
    allowed = expected_skips(listing)
    bad = []
    skipped = []
    for case in ET.parse(report).getroot().iter("testcase"):
        if case.get("status") == "run" or case.find("skipped") is None and case.get("status") != "notrun":
            continue
        name = case.get("name")
        out = case.findtext("system-out") or ""
        reason = skip_reason(out)
        skipped.append(f"{name}: {reason or '(no reason given)'}")
        if "[  FAILED  ]" in out:
            bad.append(f"{name} failed and then skipped")
        elif not reason or not any(fnmatch.fnmatchcase(name, n) and r in reason for n, r in allowed):
            bad.append(f"{name} skipped unexpectedly: {reason or '(no reason given)'}")
    if skipped:
        print(f"Skipped tests ({len(skipped)}):")
        for s in skipped:
            print("  " + s)
    else:
        print("No test was skipped.")
    for b in bad:
        print("ERROR: " + b, file=sys.stderr)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
