#!/usr/bin/env bash
# Window benchmark: the whole btnSearchClick (offscreen; table filled, labels
# updated) against find doing the same stat work, and the peak memory of the
# program with a million listed files.
#
# Builds trawlix_windowbench in Release mode in a build folder of its own,
# generates the tree of the walk benchmark (skipped when it is there), warms
# the caches, then runs both N times, interleaved, and prints medians and
# their ratio. The search time is measured inside the program around
# btnSearchClick; the process time (start-up of Qt and the window included)
# is shown beside it.
#
# Environment: TREE (default /work/benchdata/tree), BIG_TREE (a tree of about
# a million files for the real-search memory figure; default
# /work/benchdata/tree-1m, skipped when missing), N (default 5), BUILD
# (default /work/build-winbench), JOBS (default 2).
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
cmake --build "$BUILD" --target trawlix_windowbench --parallel "$JOBS" | tail -n 1
DRIVER="$BUILD/bench/window/trawlix_windowbench"

export QT_QPA_PLATFORM=offscreen
XDG_RUNTIME_DIR="$(mktemp -d)"
export XDG_RUNTIME_DIR
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK" "$XDG_RUNTIME_DIR"' EXIT

echo "== tree"
python3 "$ROOT/bench/gen_tree.py" "$TREE"

echo "== warm caches"
for _ in 1 2; do
  find "$TREE" -printf '%h/%f\t%s\t%T@\n' >/dev/null
  "$DRIVER" search "$TREE" --runs 1 >/dev/null 2>&1
done

echo "== timing: N=$N rounds, interleaved"
: >"$WORK/times"
for ((round = 1; round <= N; round++)); do
  t0=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$WORK/rss" find "$TREE" -printf '%h/%f\t%s\t%T@\n' >/dev/null
  t1=$(date +%s%N)
  echo "find $(((t1 - t0) / 1000)) $(((t1 - t0) / 1000)) $(tail -n 1 "$WORK/rss")" >>"$WORK/times"
  t0=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$WORK/rss" "$DRIVER" search "$TREE" --runs 1 >"$WORK/out" 2>/dev/null
  t1=$(date +%s%N)
  inner=$(awk '/^run 1:/ { printf "%d", $3 * 1000 }' "$WORK/out")
  echo "btnSearchClick $inner $(((t1 - t0) / 1000)) $(tail -n 1 "$WORK/rss")" >>"$WORK/times"
done
grep '^files' "$WORK/out"

python3 - "$WORK/times" <<'PY'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    name, inner, outer, rss = line.split()
    runs.setdefault(name, []).append((int(inner) / 1e6, int(outer) / 1e6, int(rss)))
print(f"{'command':<16}{'median s':>9}{'process s':>11}{'peak RSS KB':>13}   each run (s)")
for k, v in runs.items():
    print(f"{k:<16}{statistics.median(r[0] for r in v):>9.3f}{statistics.median(r[1] for r in v):>11.3f}"
          f"{max(r[2] for r in v):>13}   " + " ".join(f"{r[0]:.3f}" for r in v))
a = statistics.median(r[0] for r in runs["btnSearchClick"])
b = statistics.median(r[0] for r in runs["find"])
c = statistics.median(r[1] for r in runs["btnSearchClick"])
print(f"btnSearchClick / find: {a / b:.2f} (whole process: {c / b:.2f})")
PY

echo "== peak memory with 1,000,000 listed files"
"$DRIVER" fill 1000000 2>/dev/null
if [ -d "$BIG_TREE" ]; then
  echo "-- real search of $BIG_TREE"
  "$DRIVER" search "$BIG_TREE" --runs 1 2>/dev/null
fi
