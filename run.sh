#!/usr/bin/env bash
# Installs what is missing, builds Trawlix in Release mode and starts it.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$ROOT/scripts/setup.sh" "$ROOT/build/release" Release
if [[ -x "$ROOT/build/release/app/trawlix" ]]; then
  exec "$ROOT/build/release/app/trawlix" "$@"
else
  echo "Build finished; the window is not part of this build yet."
fi
