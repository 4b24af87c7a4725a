#!/usr/bin/env bash
# The five sort orders of the window against GNU sort on the same rows.
#
#   bench/sort/run_sort_bench.sh            # N=5 runs of each
#
# Builds the driver in Release mode in $BUILD, generates a tree of a million
# files ($TREE, with gen_tree.py), lists it through the window (offscreen),
# times each order through its menu handler, and then GNU sort on the same
# rows written as sort lines: LC_ALL=de_DE.UTF-8 sort -f, once with
# --parallel=1 and once as it is. Prints medians and the ratios.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="${BUILD:-/work/build-bench-app}"
TREE="${TREE:-/work/benchdata/tree-1m}"
LINES="${LINES:-/work/benchdata/sortlines}"
N="${N:-5}"

python3 "$ROOT/bench/gen_tree.py" "$TREE" --files 1000000 --folders 50000
[[ -f "$BUILD/build.ninja" ]] || cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRAWLIX_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target trawlix_sortbench >/dev/null
mkdir -p "$LINES"
find "$TREE" >/dev/null  # warm

export LC_ALL=de_DE.UTF-8
"$BUILD/bench/sort/trawlix_sortbench" "$TREE" "$LINES" --runs "$N" | tee "$LINES/ours.txt"

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
printf '\n%-6s %10s %12s %12s %8s %8s\n' order ours_ms sort_j1_ms sort_ms "vs j1" "vs par"
for o in dir name ext date size; do
  ours=$(grep "^$o median:" "$LINES/ours.txt" | awk '{print $3}')
  for par in 1 0; do
    times=()
    for ((i = 0; i < N; i++)); do
      flag=(); [[ $par == 1 ]] && flag=(--parallel=1)
      s=$(date +%s.%N)
      sort -f "${flag[@]}" -o "$LINES/sorted.txt" "$LINES/$o.txt"
      e=$(date +%s.%N)
      times+=("$(echo "($e - $s) * 1000" | bc)")
    done
    m=$(printf '%s\n' "${times[@]}" | median)
    if [[ $par == 1 ]]; then j1=$m; else pm=$m; fi
  done
  printf '%-6s %10.1f %12.1f %12.1f %8.3f %8.3f\n' "$o" "$ours" "$j1" "$pm" \
    "$(echo "$ours / $j1" | bc -l)" "$(echo "$ours / $pm" | bc -l)"
done
rm -f "$LINES/sorted.txt"
