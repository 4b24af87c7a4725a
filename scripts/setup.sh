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

# German locales for the C library, UTF-8 and Latin-1, each generated when it
# is missing (tests switch to both; the program's date texts follow the user's
# locale).
want_locales=()
locale -a 2>/dev/null | grep -qix 'de_DE\.utf8' || want_locales+=("de_DE.UTF-8 UTF-8")
locale -a 2>/dev/null | grep -qix 'de_DE\.iso88591' || want_locales+=("de_DE ISO-8859-1")
if ((${#want_locales[@]})); then
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
  if [[ ! -f /etc/locale.gen ]]; then
    echo "Cannot generate ${want_locales[*]}: no /etc/locale.gen (Debian package locales)" >&2
    exit 1
  fi
  for entry in "${want_locales[@]}"; do
    $SUDO sed -i "s/^# *\(${entry}\)\$/\1/" /etc/locale.gen
    grep -qx "${entry}" /etc/locale.gen || echo "${entry}" | $SUDO tee -a /etc/locale.gen >/dev/null
  done
  $SUDO locale-gen >/dev/null
fi

EXTRA=()
if [[ "${CI:-}" == "true" ]]; then EXTRA+=(-DTRAWLIX_WERROR=ON); fi

if [[ ! -f "$BUILD_DIR/build.ninja" ]]; then
  cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="$BUILD_TYPE" "${EXTRA[@]}"
fi
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
