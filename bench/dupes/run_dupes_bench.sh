#!/usr/bin/env bash
# The duplicate scan of the window against jdupes, fdupes, rmlint and rdfind.
#
#   bench/dupes/run_dupes_bench.sh          # N=5 rounds
#
# Builds the driver in Release mode in $BUILD, generates the tree ($TREE,
# gen_dupes.py), warms the caches, checks that the files of the duplicate
# view are exactly the files jdupes lists with a size of at least 1000 bytes,
# then runs every tool N times, interleaved, and prints medians and ratios.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="${BUILD:-/work/build-bench-app}"
TREE="${TREE:-/work/benchdata/dupes}"
N="${N:-5}"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

python3 "$ROOT/bench/dupes/gen_dupes.py" "$TREE"
[[ -f "$BUILD/build.ninja" ]] || cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRAWLIX_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target trawlix_dupesbench >/dev/null
DRIVER="$BUILD/bench/dupes/trawlix_dupesbench"
find "$TREE" -type f -exec cat {} + >/dev/null  # warm

# The same set of files as jdupes, restricted to 1000 bytes and more. A file
# is its device and inode: jdupes names a hard-linked file by one of its
# names only, the duplicate view shows every name.
"$DRIVER" "$TREE" --runs 1 --list "$WORK/ours.txt" > "$WORK/ours.log"
jdupes -r -q "$TREE" | grep -v '^$' > "$WORK/jdupes-paths.txt"
files() { tr '\n' '\0' < "$1" | xargs -0 stat -c '%s %d:%i' | awk '$1 >= 1000 {print $2}' | sort -u; }
files "$WORK/ours.txt" > "$WORK/ours-files.txt"
files "$WORK/jdupes-paths.txt" > "$WORK/jdupes-files.txt"
if cmp -s "$WORK/ours-files.txt" "$WORK/jdupes-files.txt"; then
  echo "same files as jdupes: $(wc -l < "$WORK/ours-files.txt") files, $(wc -l < "$WORK/ours.txt") names"
else
  echo "DIFFERENT from jdupes:"; diff "$WORK/ours-files.txt" "$WORK/jdupes-files.txt" | head -20
fi
grep -E "listed|read|peak" "$WORK/ours.log"

declare -A T
run() {  # name command...
  local name=$1; shift
  local s e
  s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N)
  T[$name]+="$(echo "$e - $s" | bc) "
}
for ((i = 0; i < N; i++)); do
  ours=$("$DRIVER" "$TREE" --runs 1 | awk '/^median:/ {print $2 / 1000}')
  T[ours]+="$ours "
  run jdupes jdupes -r -q "$TREE"
  run fdupes fdupes -r -q "$TREE"
  run rmlint bash -c "cd '$WORK' && rmlint -T df -o fdupes:'$WORK/rmlint.out' '$TREE'"
  run rdfind bash -c "cd '$WORK' && rdfind -dryrun true '$TREE'"
done
median() { tr ' ' '\n' | grep -v '^$' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
j=$(echo "${T[jdupes]}" | median)
printf '\n%-8s %10s %8s\n' tool median_s "ours/it"
o=$(echo "${T[ours]}" | median)
for t in ours jdupes fdupes rmlint rdfind; do
  m=$(echo "${T[$t]}" | median)
  printf '%-8s %10.3f %8.3f\n' "$t" "$m" "$(echo "$o / $m" | bc -l)"
done
