#!/usr/bin/env bash
# Installs the Debian packages Trawlix needs, then configures and builds it.
# Usage: scripts/setup.sh BUILD_DIR BUILD_TYPE
# Quick when nothing changed: packages are only installed when missing and
# the build is incremental.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${1:-$ROOT/build}"
BUILD_TYPE="${2:-Release}"

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n qt6-qpa-plugins libgl-dev
  libgtest-dev libgmock-dev libglib2.0-dev
  xdg-utils locales
  fonts-dejavu-core libxkbcommon-x11-0 libxcb-cursor0 libqt6svg6
  python3 xvfb xdotool x11-utils jdupes desktop-file-utils dpkg-dev
  lintian appstream man-db
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing missing packages: ${missing[*]}"
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# German locale for the C library (tests switch to it; the program's date texts
# follow the user's locale).
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf8$'; then
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
  if [[ -f /etc/locale.gen ]]; then
    $SUDO sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    grep -q '^de_DE ISO-8859-1' /etc/locale.gen || echo 'de_DE ISO-8859-1' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null
  fi
fi

EXTRA=()
if [[ "${CI:-}" == "true" ]]; then EXTRA+=(-DTRAWLIX_WERROR=ON); fi

if [[ ! -f "$BUILD_DIR/build.ninja" ]]; then
  cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="$BUILD_TYPE" "${EXTRA[@]}"
fi
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
