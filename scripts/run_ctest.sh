#!/usr/bin/env bash
# Runs ctest in a build folder, then lists the skipped tests and fails when
# one of them is not an expected skip (tests/expected_skips.txt) or when a
# skipped test also failed: ctest counts any test whose output holds
# GoogleTest's skip marker as skipped, whatever its exit code.
# Usage: scripts/run_ctest.sh BUILD_DIR [ctest arguments...]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$(cd "$1" && pwd)"
shift
JUNIT="$BUILD/Testing/junit.xml"
rc=0
ctest --test-dir "$BUILD" --output-on-failure --parallel "$(nproc)" --timeout 600 \
  --output-junit "$JUNIT" "$@" || rc=$?
python3 "$ROOT/tests/check_skips.py" "$JUNIT" "$ROOT/tests/expected_skips.txt" || rc=1
exit "$rc"
