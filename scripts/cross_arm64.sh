#!/usr/bin/env bash
# Builds platform/ and engine/ (with their tests and the command-line bench
# drivers) for arm64 with Debian's cross compiler, and runs the engine and
# platform tests under qemu-user. Shows that the engine builds and works
# without the x86 kernels of the content scan. Not part of ./test.sh or CI.
#
# Usage: scripts/cross_arm64.sh [BUILD_DIR]   (default build/arm64)
# Installs g++-aarch64-linux-gnu, qemu-user and the GoogleTest sources when
# missing; GoogleTest is built for arm64 from /usr/src/googletest.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build/arm64}"
SYSROOT=/usr/aarch64-linux-gnu

PACKAGES=(g++-aarch64-linux-gnu qemu-user googletest cmake ninja-build)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

CROSS=(
  -DCMAKE_SYSTEM_NAME=Linux
  -DCMAKE_SYSTEM_PROCESSOR=aarch64
  -DCMAKE_C_COMPILER=aarch64-linux-gnu-gcc
  -DCMAKE_CXX_COMPILER=aarch64-linux-gnu-g++
  -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER
)

# GoogleTest for arm64, once.
GTEST="$BUILD/googletest"
if [[ ! -f "$GTEST/install/lib/cmake/GTest/GTestConfig.cmake" ]]; then
  cmake -S /usr/src/googletest -B "$GTEST/build" -G Ninja "${CROSS[@]}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX="$GTEST/install"
  cmake --build "$GTEST/build"
  cmake --install "$GTEST/build" >/dev/null
fi

# The engine and the platform layer without Qt; warnings are errors, as in CI.
if [[ ! -f "$BUILD/trawlix/build.ninja" ]]; then
  cmake -S "$ROOT" -B "$BUILD/trawlix" -G Ninja "${CROSS[@]}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRAWLIX_BUILD_APP=OFF -DTRAWLIX_WERROR=ON \
    -DCMAKE_PREFIX_PATH="$GTEST/install" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="qemu-aarch64;-L;$SYSROOT"
fi
cmake --build "$BUILD/trawlix"

file "$BUILD/trawlix/tests/engine_tests" | grep -q aarch64
cd "$BUILD/trawlix"
# ctest runs every test binary through the emulator.
TZ=Europe/Berlin ctest --output-on-failure --timeout 600 "$@"
