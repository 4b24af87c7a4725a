#!/usr/bin/env bash
# Installs what is missing, builds Trawlix and runs the whole test suite
# headless through ctest.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
BUILD="$ROOT/build/test"
"$ROOT/scripts/setup.sh" "$BUILD" RelWithDebInfo
export QT_QPA_PLATFORM=offscreen
cd "$BUILD"
ctest --output-on-failure --parallel "$(nproc)" --timeout 600 "$@"
