#!/usr/bin/env bash
# Walk benchmark: our finder against find and fd on one generated tree.
#
# Builds trawlix_walkbench in Release mode in a build folder of its own,
# generates the tree (skipped when it is already there), checks that our
# search lists exactly the non-directory entries find lists, with the same
# sizes and times, warms the caches, then runs every command N times,
# interleaved round by round, and prints medians and ratios. Finally it
# compares the peak memory of our walk on the full tree and on a tree ten
# times smaller.
#
# Environment: TREE (default /work/benchdata/tree), SMALL_TREE (default
# TREE-small), N (default 5), BUILD (default /work/build-bench), JOBS
# (default 2).
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"
TREE="${TREE:-/work/benchdata/tree}"
SMALL_TREE="${SMALL_TREE:-${TREE}-small}"
N="${N:-5}"
BUILD="${BUILD:-/work/build-bench}"
JOBS="${JOBS:-2}"

need() { command -v "$1" >/dev/null 2>&1 || { echo "missing: $1 ($2)" >&2; exit 1; }; }
need cmake "apt-get install cmake"
need ninja "apt-get install ninja-build"
need python3 "apt-get install python3"
need fdfind "apt-get install fd-find"
[ -x /usr/bin/time ] || { echo "missing: /usr/bin/time (apt-get install time)" >&2; exit 1; }

echo "== build (Release) in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DTRAWLIX_BUILD_APP=OFF -DTRAWLIX_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target trawlix_walkbench --parallel "$JOBS" | tail -n 1
WALK="$BUILD/bench/trawlix_walkbench"

echo "== trees"
python3 "$HERE/gen_tree.py" "$TREE"
python3 "$HERE/gen_tree.py" "$SMALL_TREE" --files 20000 --folders 2000

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

echo "== warm caches"
for _ in 1 2; do
  find "$TREE" -printf '%h/%f\t%s\t%T@\n' >/dev/null
  "$WALK" "$TREE" >/dev/null
done

echo "== same entries as find?"
# find lists the tree itself and its folders too; our default criteria refuse
# folders, so we compare with find's non-directory entries. Times: find
# prints ten decimals, we print seven.
"$WALK" "$TREE" --out "$WORK/ours.tsv" >/dev/null
find "$TREE" -printf '%h/%f\t%s\t%T@\n' >"$WORK/find_all.tsv"
find "$TREE" ! -type d -printf '%h/%f\t%s\t%T@\n' \
  | awk -F'\t' 'BEGIN{OFS="\t"} { $3 = substr($3, 1, length($3) - 3); print }' >"$WORK/find_nondir.tsv"
LC_ALL=C sort "$WORK/ours.tsv" >"$WORK/ours.sorted"
LC_ALL=C sort "$WORK/find_nondir.tsv" >"$WORK/find.sorted"
fdfind -u -tf -tl -tp -ts . "$TREE" | LC_ALL=C sort >"$WORK/fd.sorted"
cut -f1 "$WORK/find.sorted" >"$WORK/find.paths"
n_ours=$(wc -l <"$WORK/ours.sorted")
n_find_all=$(wc -l <"$WORK/find_all.tsv")
n_find_nondir=$(wc -l <"$WORK/find.sorted")
n_dirs=$(find "$TREE" -type d | wc -l)
n_files=$(find "$TREE" -type f | wc -l)
n_links=$(find "$TREE" -type l | wc -l)
n_other=$(find "$TREE" ! -type d ! -type f ! -type l | wc -l)
n_fd=$(wc -l <"$WORK/fd.sorted")
echo "find, all entries:          $n_find_all ($n_dirs folders incl. the tree itself)"
echo "find, non-directories:      $n_find_nondir ($n_files files, $n_links links, $n_other other)"
echo "ours, matches:              $n_ours"
echo "fd -u -tf -tl -tp -ts:      $n_fd"
if cmp -s "$WORK/ours.sorted" "$WORK/find.sorted"; then
  echo "ours = find's non-directory entries, path, size and time alike"
else
  echo "DIFFERENCE between ours and find (first lines):"
  diff "$WORK/find.sorted" "$WORK/ours.sorted" | head -n 20
fi
if cmp -s "$WORK/fd.sorted" "$WORK/find.paths"; then
  echo "fd lists the same paths"
else
  echo "DIFFERENCE between fd and find (first lines):"
  diff "$WORK/find.paths" "$WORK/fd.sorted" | head -n 20
fi
rm -f "$WORK"/*.tsv "$WORK"/*.sorted "$WORK"/*.paths

echo "== timing: N=$N rounds, interleaved, warm caches"
NAMES=(ours_sync ours_threaded find fd fd_j1)
command_of() {
  case "$1" in
    ours_sync) CMD=("$WALK" "$TREE") ;;
    ours_threaded) CMD=("$WALK" "$TREE" --threaded) ;;
    find) CMD=(find "$TREE" -printf '%h/%f\t%s\t%T@\n') ;;
    fd) CMD=(fdfind -u -tf -tl -tp -ts . "$TREE") ;;
    fd_j1) CMD=(fdfind -j1 -u -tf -tl -tp -ts . "$TREE") ;;
  esac
}
: >"$WORK/times"
for ((round = 1; round <= N; round++)); do
  # Rotate the order each round so no command always runs right after
  # another.
  for ((k = 0; k < ${#NAMES[@]}; k++)); do
    name="${NAMES[$(((k + round) % ${#NAMES[@]}))]}"
    command_of "$name"
    t0=$(date +%s%N)
    /usr/bin/time -f '%M' -o "$WORK/rss" "${CMD[@]}" >/dev/null
    t1=$(date +%s%N)
    echo "$name $(((t1 - t0) / 1000)) $(tail -n 1 "$WORK/rss")" >>"$WORK/times"
  done
done

python3 - "$WORK/times" <<'EOF'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    name, us, rss = line.split()
    runs.setdefault(name, []).append((int(us) / 1e6, int(rss)))
med = {k: statistics.median(t for t, _ in v) for k, v in runs.items()}
print(f"{'command':<15}{'median s':>10}{'min s':>10}{'max s':>10}{'peak RSS KB':>13}   all runs (s)")
for k, v in runs.items():
    ts = [t for t, _ in v]
    print(f"{k:<15}{med[k]:>10.3f}{min(ts):>10.3f}{max(ts):>10.3f}{max(r for _, r in v):>13}   "
          + " ".join(f"{t:.3f}" for t in ts))
print()
for a, b in [("ours_sync", "find"), ("ours_threaded", "find"), ("ours_sync", "fd"),
             ("ours_sync", "fd_j1"), ("ours_threaded", "ours_sync")]:
    print(f"{a + ' / ' + b:<28}{med[a] / med[b]:>7.2f}")
EOF

echo "== memory against tree size (peak RSS of our walk)"
"$WALK" "$SMALL_TREE"
"$WALK" "$TREE"
"$WALK" "$SMALL_TREE" --threaded
"$WALK" "$TREE" --threaded
