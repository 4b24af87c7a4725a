#!/usr/bin/env bash
# Window benchmark. First what a person waits for: the program shown in Xvfb
# at the designed size (976 x 768) and at 1280 x 1000, searched by its Alt+S
# key, timed from the key to its last processor tick, processor time of the
# program and of the X server counted, on the generated tree and on /usr,
# against find doing the same stat work; then how fast Alt+A stops a search
# (window_bench.py, medians of N). Then, as the floor, the whole
# btnSearchClick offscreen (nothing drawn) against find, and the peak memory
# of the program with a million listed files.
#
# Builds trawlix and trawlix_windowbench in Release mode in a build folder of
# its own and generates the tree of the walk benchmark (skipped when it is
# there).
#
# Environment: TREE (default /work/benchdata/tree), REAL_TREE (default /usr),
# BIG_TREE (a tree of about a million files for the real-search memory
# figure; default /work/benchdata/tree-1m, skipped when missing), N (default
# 5), BUILD (default /work/build-winbench), JOBS (default 2), XDISPLAY (the
# display number the offscreen part's Xvfb uses, default :92; the shown part
# takes the first free display from TRAWLIX_E2E_FIRST_DISPLAY on).
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
TREE="${TREE:-/work/benchdata/tree}"
BIG_TREE="${BIG_TREE:-/work/benchdata/tree-1m}"
N="${N:-5}"
BUILD="${BUILD:-/work/build-winbench}"
JOBS="${JOBS:-2}"

[ -x /usr/bin/time ] || { echo "missing: /usr/bin/time (apt-get install time)" >&2; exit 1; }

echo "== build (Release) in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRAWLIX_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target trawlix trawlix_windowbench --parallel "$JOBS" | tail -n 1
DRIVER="$BUILD/bench/window/trawlix_windowbench"
REAL_TREE="${REAL_TREE:-/usr}"

XDISPLAY="${XDISPLAY:-:92}"
command -v Xvfb >/dev/null || { echo "missing: Xvfb (apt-get install xvfb)" >&2; exit 1; }
XDG_RUNTIME_DIR="$(mktemp -d)"
export XDG_RUNTIME_DIR
WORK="$(mktemp -d)"
Xvfb "$XDISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
XVFB_PID=$!
trap 'kill "$XVFB_PID" 2>/dev/null; rm -rf "$WORK" "$XDG_RUNTIME_DIR"' EXIT
sleep 1

echo "== tree"
python3 "$ROOT/bench/gen_tree.py" "$TREE"

echo "== warm caches"
for _ in 1 2; do
  find "$TREE" -printf '%h/%f\t%s\t%T@\n' >/dev/null
  QT_QPA_PLATFORM=offscreen "$DRIVER" search "$TREE" --runs 1 >/dev/null 2>&1
done

echo "== the shown window, driven by its keys"
python3 "$HERE/window_bench.py" "$BUILD/app/trawlix" --runs "$N" --trees "$TREE,$REAL_TREE"

echo "== the floor: btnSearchClick offscreen and shown from inside the program; N=$N rounds, interleaved"
: >"$WORK/times"
for ((round = 1; round <= N; round++)); do
  t0=$(date +%s%N)
  /usr/bin/time -f '%M %U %S' -o "$WORK/rss" find "$TREE" -printf '%h/%f\t%s\t%T@\n' >/dev/null
  t1=$(date +%s%N)
  read -r rss user sys <"$WORK/rss"
  echo "find $(((t1 - t0) / 1000)) $(((t1 - t0) / 1000)) $rss $user $sys" >>"$WORK/times"
  for how in offscreen shown; do
    if [ "$how" = shown ]; then
      env=(QT_QPA_PLATFORM=xcb DISPLAY="$XDISPLAY")
      flag=(--shown 1)
    else
      env=(QT_QPA_PLATFORM=offscreen)
      flag=()
    fi
    t0=$(date +%s%N)
    env "${env[@]}" /usr/bin/time -f '%M %U %S' -o "$WORK/rss" "$DRIVER" search "$TREE" --runs 1 "${flag[@]}" \
      >"$WORK/out" 2>/dev/null
    t1=$(date +%s%N)
    inner=$(awk '/^run 1:/ { printf "%d", $3 * 1000 }' "$WORK/out")
    read -r rss user sys <"$WORK/rss"
    echo "btnSearchClick_$how $inner $(((t1 - t0) / 1000)) $rss $user $sys" >>"$WORK/times"
  done
done
grep '^files' "$WORK/out"

python3 - "$WORK/times" <<'PY'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    name, inner, outer, rss, user, sys_ = line.split()
    runs.setdefault(name, []).append((int(inner) / 1e6, int(outer) / 1e6, int(rss), float(user) + float(sys_)))
med = lambda k, i: statistics.median(r[i] for r in runs[k])
print("search s: btnSearchClick alone (find: the whole process); process s and cpu s: the whole process")
print(f"{'command':<26}{'search s':>9}{'process s':>11}{'cpu s':>8}{'peak RSS KB':>13}   each search (s)")
for k, v in runs.items():
    print(f"{k:<26}{med(k, 0):>9.3f}{med(k, 1):>11.3f}{med(k, 3):>8.2f}{max(r[2] for r in v):>13}   "
          + " ".join(f"{r[0]:.3f}" for r in v))
for how in ("offscreen", "shown"):
    k = "btnSearchClick_" + how
    print(f"{k} / find: {med(k, 0) / med('find', 0):.2f} (whole process: {med(k, 1) / med('find', 0):.2f}, "
          f"cpu of the whole process: {med(k, 3) / med('find', 3):.2f})")
PY

echo "== peak memory with 1,000,000 listed files (offscreen, then shown in Xvfb)"
QT_QPA_PLATFORM=offscreen "$DRIVER" fill 1000000 2>/dev/null
QT_QPA_PLATFORM=xcb DISPLAY="$XDISPLAY" "$DRIVER" fill 1000000 --shown 1 2>/dev/null
if [ -d "$BIG_TREE" ]; then
  echo "-- real search of $BIG_TREE"
  QT_QPA_PLATFORM=offscreen "$DRIVER" search "$BIG_TREE" --runs 1 2>/dev/null
fi
