#!/usr/bin/env bash
# Cleaning up the generated duplicate tree: the search, the duplicate scan
# and keeping the first file of each group (the others to the trash)
# through the window's handlers, against `jdupes -r -d -N` (delete all but
# the first of each set, no questions), each on a fresh copy of the tree.
#
#   bench/dupes/run_cleanup_bench.sh        # N=5 rounds, SCALE=0.1 of the full tree
#
# Both copies lie on one file system with the trash ($XDG_DATA_HOME), so a
# move to the trash is a rename. Copying is not timed; jdupes' time includes
# its walk, ours the search. Afterwards the files of at least 1000 bytes left
# in each copy are compared by content (jdupes also removes smaller copies,
# which the duplicate view never lists).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="${BUILD:-$ROOT/build/release}"
SCALE="${SCALE:-0.1}"
TREE="${TREE:-/work/benchdata/dupes-s$SCALE}"
N="${N:-5}"
WORK="$(mktemp -d /work/benchdata/cleanup-XXXXXX)"
trap 'rm -rf "$WORK"' EXIT

python3 "$ROOT/bench/dupes/gen_dupes.py" "$TREE" --scale "$SCALE"
[[ -f "$BUILD/build.ninja" ]] || cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" --target trawlix_dupesbench >/dev/null
DRIVER="$BUILD/bench/dupes/trawlix_dupesbench"
export XDG_DATA_HOME="$WORK/data"

# Contents of the files of 1000 bytes and more, one line per name.
left() { find "$1" -type f -size +999c -print0 | xargs -0 -r sha1sum | awk '{print $1}' | sort; }

ours=() theirs=()
for ((i = 0; i < N; i++)); do
  rm -rf "$WORK/ours" "$WORK/jdupes" "$XDG_DATA_HOME"
  cp -a "$TREE" "$WORK/ours"
  cp -a "$TREE" "$WORK/jdupes"
  sync
  find "$WORK/ours" "$WORK/jdupes" -type f -exec cat {} + >/dev/null  # warm both copies
  o=$("$DRIVER" "$WORK/ours" --keep-one | awk '/^cleanup:/ {print $2 / 1000}')
  s=$(date +%s.%N); jdupes -r -d -N -q "$WORK/jdupes" >/dev/null 2>&1; e=$(date +%s.%N)
  j=$(echo "$e - $s" | bc)
  ours+=("$o"); theirs+=("$j")
  echo "round $((i + 1)): ours $o s, jdupes $j s"
  if ((i == 0)); then
    left "$WORK/ours" > "$WORK/ours.left"
    left "$WORK/jdupes" > "$WORK/jdupes.left"
    echo "left over (>= 1000 bytes): ours $(wc -l < "$WORK/ours.left") files, jdupes $(wc -l < "$WORK/jdupes.left")," \
         "distinct contents ours $(uniq "$WORK/ours.left" | wc -l), jdupes $(uniq "$WORK/jdupes.left" | wc -l)"
    # jdupes never counts two names of one hard-linked file as copies and
    # leaves both; the duplicate view lists every name, and keeping one
    # leaves one name. So the contents are compared, each once.
    if cmp -s <(uniq "$WORK/ours.left") <(uniq "$WORK/jdupes.left"); then echo "same contents left over"; else
      echo "DIFFERENT contents left over:"; diff <(uniq "$WORK/ours.left") <(uniq "$WORK/jdupes.left") | head; fi
    echo "names of hard-linked files (>= 1000 bytes) left: ours" \
         "$(find "$WORK/ours" -type f -size +999c -links +1 | wc -l), jdupes" \
         "$(find "$WORK/jdupes" -type f -size +999c -links +1 | wc -l)"
    echo "in the trash: $(find "$XDG_DATA_HOME/Trash/files" -mindepth 1 -maxdepth 1 | wc -l) files," \
         "$(find "$XDG_DATA_HOME/Trash/info" -name '*.trashinfo' | wc -l) .trashinfo"
  fi
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
mo=$(median "${ours[@]}"); mj=$(median "${theirs[@]}")
printf '\nmedian of %d: ours %.3f s, jdupes %.3f s, ours/jdupes %.2f\n' "$N" "$mo" "$mj" "$(echo "$mo / $mj" | bc -l)"
