#!/usr/bin/env bash
# Export benchmark: writing the table file and the list file of a million
# rows (trawlix_exportbench, the window's export without the dialog) against
# cat writing the same bytes into the same folder under the same names.
#
# Builds trawlix_exportbench in Release mode in a build folder of its own,
# writes the two files once as cat's sources (OUT/src), checks that our
# output equals them byte for byte, then runs both N times, interleaved,
# each after a sync so neither pays for the other's write-back, and prints
# the medians of wall and CPU time (user + system) and their ratios. Our
# time is measured inside the driver around the two exports (the fill of
# the row store is not part of it); cat's is the whole of
# `sh -c 'cat src/ScanResult.txt > ScanResult.txt; cat src/ScanList.txt > ScanList.txt'`.
#
# Environment: OUT (default /work/benchdata/export), ROWS (default 1000000),
# N (default 5), BUILD (default /work/build-exportbench), JOBS (default 2).
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
OUT="${OUT:-/work/benchdata/export}"
ROWS="${ROWS:-1000000}"
N="${N:-5}"
BUILD="${BUILD:-/work/build-exportbench}"
JOBS="${JOBS:-2}"

[ -x /usr/bin/time ] || { echo "missing: /usr/bin/time (apt-get install time)" >&2; exit 1; }

echo "== build (Release) in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRAWLIX_BUILD_APP=OFF \
  -DTRAWLIX_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target trawlix_exportbench --parallel "$JOBS" | tail -n 1
DRIVER="$BUILD/bench/trawlix_exportbench"

mkdir -p "$OUT/src"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

echo "== sources for cat, and a check of our bytes"
"$DRIVER" "$OUT/src" --rows "$ROWS" >/dev/null
"$DRIVER" "$OUT" --rows "$ROWS" >/dev/null
cmp "$OUT/src/ScanResult.txt" "$OUT/ScanResult.txt"
cmp "$OUT/src/ScanList.txt" "$OUT/ScanList.txt"
ls -l "$OUT/src" | awk 'NR > 1 { printf "   %s %s bytes\n", $9, $5 }'
cat "$OUT/src/ScanResult.txt" "$OUT/src/ScanList.txt" >/dev/null  # in the page cache

echo "== timing: N=$N rounds, interleaved"
: >"$WORK/times"
for ((round = 1; round <= N; round++)); do
  sync
  line=$("$DRIVER" "$OUT" --rows "$ROWS" | awk '/^run 1:/ { print $3, $4 }')
  echo "ours $line" >>"$WORK/times"
  sync
  /usr/bin/time -f '%e %U %S' -o "$WORK/t" sh -c 'cat "$1/src/ScanResult.txt" > "$1/ScanResult.txt"; cat "$1/src/ScanList.txt" > "$1/ScanList.txt"' sh "$OUT"
  awk '{ printf "cat %.1f %.1f\n", $1 * 1000, ($2 + $3) * 1000 }' "$WORK/t" >>"$WORK/times"
done

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
printf "%-6s %12s %12s %12s %12s\n" name wall_ms_med wall_min wall_max cpu_ms_med
for name in ours cat; do
  wall=$(awk -v n=$name '$1 == n { print $2 }' "$WORK/times" | median)
  wmin=$(awk -v n=$name '$1 == n { print $2 }' "$WORK/times" | sort -n | head -n 1)
  wmax=$(awk -v n=$name '$1 == n { print $2 }' "$WORK/times" | sort -n | tail -n 1)
  cpu=$(awk -v n=$name '$1 == n { print $3 }' "$WORK/times" | median)
  printf "%-6s %12s %12s %12s %12s\n" "$name" "$wall" "$wmin" "$wmax" "$cpu"
  echo "$name $wall $cpu" >>"$WORK/med"
done
awk '{ w[$1] = $2; c[$1] = $3 } END { printf "ratio ours/cat: wall %.2f, cpu %.2f\n", w["ours"] / w["cat"], c["ours"] / (c["cat"] > 0 ? c["cat"] : 1) }' "$WORK/med"
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
