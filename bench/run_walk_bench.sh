#!/usr/bin/env bash
# Walk benchmark: our finder against find and fd on one generated tree.
#
# Builds trawlix_walkbench in Release mode in a build folder of its own,
# generates the tree (skipped when it is already there), checks that our
# search lists exactly the non-directory entries find lists, with the same
# sizes and times, warms the caches, then runs every command N times,
# interleaved round by round, and prints medians and ratios. Finally it
# compares the peak memory of our walk on the full tree and on a tree ten
# times smaller. A deep tree (chains of 300 folders, paths far beyond the
# system's path limit) is checked against find and timed against it too.
#
# Environment: TREE (default /work/benchdata/tree), SMALL_TREE (default
# TREE-small), DEEP_TREE (default the folder of TREE/deep), N (default 5),
# BUILD (default /work/build-bench), JOBS (default 2), REAL_TREES (folders
# of the machine timed against find as well, read only, default /usr; empty
# to skip).
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"
TREE="${TREE:-/work/benchdata/tree}"
SMALL_TREE="${SMALL_TREE:-${TREE}-small}"
DEEP_TREE="${DEEP_TREE:-$(dirname "$TREE")/deep}"
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
python3 "$HERE/gen_deep_tree.py" "$DEEP_TREE"

# fd: every entry that is not a folder (-u: hidden and ignored ones too).
# fd lists names from readdir alone and stats nothing; with a --changed-before
# filter that every entry passes it stats every entry too (the fd_stat rows),
# which is the same system work as find and we do.
FD_ALL=(-u -tf -tl -tp -ts)
FD_STAT=(--changed-before '2200-01-01 00:00:00')

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

echo "== warm caches"
for _ in 1 2; do
  find "$TREE" -printf '%h/%f\t%s\t%T@\n' >/dev/null
  "$WALK" "$TREE" >/dev/null
  fdfind "${FD_ALL[@]}" . "$TREE" >/dev/null
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
fdfind "${FD_ALL[@]}" . "$TREE" | LC_ALL=C sort >"$WORK/fd.sorted"
fdfind "${FD_ALL[@]}" "${FD_STAT[@]}" . "$TREE" | LC_ALL=C sort >"$WORK/fd_stat.sorted"
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
for f in fd fd_stat; do
  if cmp -s "$WORK/$f.sorted" "$WORK/find.paths"; then
    echo "$f lists the same paths"
  else
    echo "DIFFERENCE between $f and find (first lines):"
    diff "$WORK/find.paths" "$WORK/$f.sorted" | head -n 20
  fi
done
rm -f "$WORK"/*.tsv "$WORK"/*.sorted "$WORK"/*.paths

echo "== timing: N=$N rounds, interleaved, warm caches"
NAMES=(ours_sync ours_threaded find fd fd_j1 fd_stat fd_stat_j1)
command_of() {
  case "$1" in
    ours_sync) CMD=("$WALK" "$TREE") ;;
    ours_threaded) CMD=("$WALK" "$TREE" --threaded) ;;
    find) CMD=(find "$TREE" -printf '%h/%f\t%s\t%T@\n') ;;
    fd) CMD=(fdfind "${FD_ALL[@]}" . "$TREE") ;;
    fd_j1) CMD=(fdfind -j1 "${FD_ALL[@]}" . "$TREE") ;;
    fd_stat) CMD=(fdfind "${FD_ALL[@]}" "${FD_STAT[@]}" . "$TREE") ;;
    fd_stat_j1) CMD=(fdfind -j1 "${FD_ALL[@]}" "${FD_STAT[@]}" . "$TREE") ;;
  esac
}
# Runs CMD once and appends "NAME MICROSECONDS RSS_KB USER SYS" to OUT.
time_run() {
  local name="$1" out="$2" t0 t1
  t0=$(date +%s%N)
  /usr/bin/time -f '%M %U %S' -o "$WORK/rss" "${CMD[@]}" >/dev/null 2>&1 || true
  t1=$(date +%s%N)
  echo "$name $(((t1 - t0) / 1000)) $(tail -n 1 "$WORK/rss")" >>"$out"
}
: >"$WORK/times"
for ((round = 1; round <= N; round++)); do
  # Rotate the order each round so no command always runs right after
  # another.
  for ((k = 0; k < ${#NAMES[@]}; k++)); do
    name="${NAMES[$(((k + round) % ${#NAMES[@]}))]}"
    command_of "$name"
    time_run "$name" "$WORK/times"
  done
done

python3 - "$WORK/times" <<'EOF'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    name, us, rss, user, sys_ = line.split()
    runs.setdefault(name, []).append((int(us) / 1e6, int(rss), float(user) + float(sys_)))
wall = {k: statistics.median(r[0] for r in v) for k, v in runs.items()}
cpu = {k: statistics.median(r[2] for r in v) for k, v in runs.items()}
print("wall: elapsed time of the process; cpu: its user + system time (less")
print("disturbed by other load on the machine; fd's threads add up)")
print(f"{'command':<15}{'wall med':>9}{'min':>8}{'max':>8}{'cpu med':>9}{'peak RSS KB':>13}   wall of each run (s)")
for k, v in runs.items():
    ts = [r[0] for r in v]
    print(f"{k:<15}{wall[k]:>9.3f}{min(ts):>8.3f}{max(ts):>8.3f}{cpu[k]:>9.2f}{max(r[1] for r in v):>13}   "
          + " ".join(f"{t:.3f}" for t in ts))
print()
print(f"{'ratio of medians':<32}{'wall':>7}{'cpu':>7}")
for a, b in [("ours_sync", "find"), ("ours_threaded", "find"), ("ours_sync", "fd"),
             ("ours_sync", "fd_j1"), ("ours_sync", "fd_stat"), ("ours_sync", "fd_stat_j1"),
             ("ours_threaded", "ours_sync")]:
    print(f"{a + ' / ' + b:<32}{wall[a] / wall[b]:>7.2f}{cpu[a] / cpu[b]:>7.2f}")
EOF

echo "== $DEEP_TREE: same entries as find?"
"$WALK" "$DEEP_TREE" --out "$WORK/ours.tsv"
find "$DEEP_TREE" ! -type d -printf '%h/%f\t%s\t%T@\n' \
  | awk -F'\t' 'BEGIN{OFS="\t"} { $3 = substr($3, 1, length($3) - 3); print }' >"$WORK/find_nondir.tsv"
LC_ALL=C sort "$WORK/ours.tsv" >"$WORK/ours.sorted"
LC_ALL=C sort "$WORK/find_nondir.tsv" >"$WORK/find.sorted"
echo "find: $(find "$DEEP_TREE" -type d | wc -l) folders, $(wc -l <"$WORK/find.sorted") other entries," \
  "longest path $(awk -F'\t' '{ if (length($1) > m) m = length($1) } END { print m }' "$WORK/find.sorted") bytes"
if cmp -s "$WORK/ours.sorted" "$WORK/find.sorted"; then
  echo "ours = find's non-directory entries, path, size and time alike"
else
  echo "DIFFERENCE between ours and find: $(wc -l <"$WORK/ours.sorted") against $(wc -l <"$WORK/find.sorted") lines"
fi
rm -f "$WORK"/*.tsv "$WORK"/*.sorted

# Folders of the machine (only read) and the deep tree: ours against find,
# interleaved.
for real in ${REAL_TREES-/usr} "$DEEP_TREE"; do
  [ -d "$real" ] || continue
  echo "== $real: N=$N rounds, interleaved, warm caches"
  find "$real" -printf '%h/%f\t%s\t%T@\n' >/dev/null 2>&1 || true
  "$WALK" "$real" >/dev/null
  : >"$WORK/real"
  for ((round = 1; round <= N; round++)); do
    for name in ours_sync find; do
      if [ "$name" = find ]; then CMD=(find "$real" -printf '%h/%f\t%s\t%T@\n'); else CMD=("$WALK" "$real"); fi
      time_run "$name" "$WORK/real"
    done
  done
  python3 - "$WORK/real" <<'EOF2'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    name, us, rss, user, sys_ = line.split()
    runs.setdefault(name, []).append((int(us) / 1e6, float(user) + float(sys_)))
for k, v in runs.items():
    print(f"{k:<12} wall median {statistics.median(r[0] for r in v):.3f} s, cpu median {statistics.median(r[1] for r in v):.2f} s; "
          + " ".join(f"{r[0]:.3f}" for r in v))
w = lambda k: statistics.median(r[0] for r in runs[k])
c = lambda k: statistics.median(r[1] for r in runs[k])
print(f"ours_sync / find: wall {w('ours_sync') / w('find'):.2f}, cpu {c('ours_sync') / c('find'):.2f}")
EOF2
done

echo "== memory against tree size (peak RSS of our walk)"
"$WALK" "$SMALL_TREE"
"$WALK" "$TREE"
"$WALK" "$SMALL_TREE" --threaded
"$WALK" "$TREE" --threaded
