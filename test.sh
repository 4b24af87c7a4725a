#!/usr/bin/env bash
# Installs what is missing, builds Trawlix and runs the whole test suite
# headless through ctest. Lists the skipped tests at the end and fails on a
# skip that tests/expected_skips.txt does not name.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
BUILD="$ROOT/build/test"
# A build folder configured without the window or the tests (by hand, or
# reused from another configuration) would run without the window, end-to-end
# and install tests: configure it afresh.
if [[ -f "$BUILD/CMakeCache.txt" ]] &&
   grep -Eq '^TRAWLIX_BUILD_(APP|TESTS):BOOL=(OFF|0|FALSE|NO)$' "$BUILD/CMakeCache.txt"; then
  echo "The build folder $BUILD was configured without the program or its tests: configuring afresh."
  rm -f "$BUILD/CMakeCache.txt" "$BUILD/build.ninja"
fi
"$ROOT/scripts/setup.sh" "$BUILD" RelWithDebInfo
if [[ ! -x "$BUILD/tests/app_tests" ]]; then
  echo "ERROR: the window tests were not built in $BUILD" >&2
  exit 1
fi
for label in e2e install; do
  if [[ -z "$(ctest --test-dir "$BUILD" -N -L "$label" | grep -E '^ *Test +#')" ]]; then
    echo "ERROR: no $label tests are registered in $BUILD" >&2
    exit 1
  fi
done
export QT_QPA_PLATFORM=offscreen
exec "$ROOT/scripts/run_ctest.sh" "$BUILD" "$@"
