#!/usr/bin/env bash
# Times `quarv convert` against its peers in one run: Fossil's importer (fed by
# `git fast-export`) and Mercurial's converter, each on its own fresh clone of the
# same history, and prints the ratios (below 1: quarv is faster). Then `quarv
# verify` of the store and `quarv checkout` of its newest revision.
#
#   bench/convert.sh [REPOSITORY] [--commits N] [--files N] [--window]
#   bench/convert.sh --flat [--commits N] [--files N] [--changes N]
#
# REPOSITORY: a Git repository to convert (cloned first: it is never touched);
# without it, a generated history of about 1,000 commits over about 2,000 files.
# --window: the window's run too (pellmor under Xvfb, pressing Prepare and Convert),
# twice, beside two more runs of the tool in turn, and the ratio of their times.
# --flat: a generated history whose tree keeps its size (300 files, 3,000
# commits, 3 files changed by each), converted by quarv only; prints how long its
# last 500 commits took against commits 100-600 (a commit should cost the same
# however long the store is). Every run prints quarv's peak memory.
#
# Needs a Release build, in $PELLMOR_BENCH_BUILD or else build-release/ (made when
# missing), and the mercurial and fossil packages (xvfb for --window).
# PELLMOR_BENCH_KEEP=1 keeps the work folder.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
top="$(dirname "$here")"
commits=""
files=""
changes=3
flat=""
window=""
source_repo=""
while [ $# -gt 0 ]; do
  case "$1" in
    --commits) commits="$2"; shift 2 ;;
    --files) files="$2"; shift 2 ;;
    --changes) changes="$2"; shift 2 ;;
    --flat) flat=1; shift ;;
    --window) window=1; shift ;;
    *) source_repo="$1"; shift ;;
  esac
done

build="${PELLMOR_BENCH_BUILD:-$top/build-release}"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELLMOR_BENCHMARKS=OFF >/dev/null
fi
targets=(--target quarv)
[ -n "$window" ] && targets+=(--target window_screenshot)
cmake --build "$build" "${targets[@]}" >/dev/null
if [ -z "$flat" ]; then
  for tool in hg fossil; do
    command -v "$tool" >/dev/null ||
      { echo "$tool is not installed (apt-get install mercurial fossil)" >&2; exit 1; }
  done
fi

work="$(mktemp -d /tmp/pellmor-bench-XXXXXX)"
trap 'rm -rf "$work"' EXIT
if [ -z "$source_repo" ]; then
  source_repo="$work/origin"
  git init -q -b main "$source_repo"
  if [ -n "$flat" ]; then
    python3 "$here/make_history.py" "${files:-300}" "${commits:-3000}" "$changes"
  else
    python3 "$here/make_history.py" "${files:-2000}" "${commits:-1000}"
  fi | git -C "$source_repo" fast-import --quiet
  git -C "$source_repo" checkout -q main
fi
git clone -q "$source_repo" "$work/pellmor"
count=$(git -C "$work/pellmor" rev-list --count HEAD)
tracked=$(git -C "$work/pellmor" ls-files | wc -l)
echo "repository: $count commits, $tracked files at HEAD; load before the run: $(cut -d' ' -f1-3 /proc/loadavg)"

seconds() { date +%s.%N; }
ratio() { echo "$1 / $2" | bc -l | xargs printf '%.2f'; }
# Each timed run starts once the files deleted before it (by the run before,
# or by whatever ran before the bench) have aged for ext4, which passes over
# inodes freed in the last 30 s while it creates files on a file system
# without a journal: a run right after many deletions is much slower.
settle() { sync; sleep 31; }

if [ -n "$flat" ]; then
  settle
  python3 "$here/timed_run.py" --flat --label "quarv convert" -- \
    "$build/bin/quarv" convert "$work/pellmor" | grep -v '^Converted'
  exit 0
fi

settle
t0=$(seconds)
python3 "$here/timed_run.py" --label "quarv convert" -- "$build/bin/quarv" convert "$work/pellmor" \
  | tail -n 2
t1=$(seconds)
quarv=$(echo "$t1 - $t0" | bc)

# Fossil: the history as git fast-export writes it, piped into fossil's importer.
git clone -q "$source_repo" "$work/fossil-source"
branch=$(git -C "$work/fossil-source" symbolic-ref --short HEAD)
settle
t2=$(seconds)
git -C "$work/fossil-source" fast-export "$branch" 2>/dev/null |
  USER="${USER:-bench}" fossil import --git "$work/target.fossil" >/dev/null
t3=$(seconds)
fossil=$(echo "$t3 - $t2" | bc)
fossil_kept=$(fossil sql -R "$work/target.fossil" "select count(*) from event where type='ci'")

git clone -q "$source_repo" "$work/hg-source"
settle
t4=$(seconds)
hg --config extensions.convert= convert -q "$work/hg-source" "$work/hg-target" >/dev/null
t5=$(seconds)
mercurial=$(echo "$t5 - $t4" | bc)
hg_kept=$(hg log -R "$work/hg-target" -T . | wc -c)

printf 'quarv convert:  %7.2f s  (%d commits)\n' "$quarv" "$count"
printf 'fossil import:  %7.2f s  (%d check-ins kept)\n' "$fossil" "$fossil_kept"
printf 'hg convert:     %7.2f s  (%d changesets kept)\n' "$mercurial" "$hg_kept"
printf 'quarv / fossil: %s\nquarv / hg:     %s\n' "$(ratio "$quarv" "$fossil")" \
  "$(ratio "$quarv" "$mercurial")"

if [ -n "$window" ]; then
  # The window's run against the tool's on the same history, in two pairs of
  # adjacent runs in turn (tool then window, window then tool): on a busy file
  # system a later run of the same work is slower, and the first quarv run
  # above came before the peers; each run settles first. The window is timed
  # by its own clock, from each press to the end of its command, without
  # Xvfb's and the program's start.
  window_run() {
    git clone -q "$source_repo" "$work/window-$1"
    settle
    local times
    times=$(QT_QPA_PLATFORM=xcb xvfb-run -a "$build/bin/window_screenshot" --times --convert \
      "$work/window-$1" "$work/window-$1.png")
    echo "$(echo "$times" | sed -n 's/^prepare //p') + $(echo "$times" | sed -n 's/^convert //p')" | bc
    rm -rf "$work/window-$1"
  }
  tool_run() {
    git clone -q "$source_repo" "$work/tool-$1"
    settle
    local start end
    start=$(seconds)
    "$build/bin/quarv" convert "$work/tool-$1" >/dev/null
    end=$(seconds)
    echo "$end - $start" | bc
    rm -rf "$work/tool-$1"
  }
  t_a=$(tool_run 1); w_a=$(window_run 1)
  w_b=$(window_run 2); t_b=$(tool_run 2)
  printf 'window runs:    %7.2f s, %.2f s  (tool runs beside them: %.2f s, %.2f s)\n' \
    "$w_a" "$w_b" "$t_a" "$t_b"
  printf 'window / quarv: %s\n' \
    "$(ratio "$(echo "$w_a + $w_b" | bc)" "$(echo "$t_a + $t_b" | bc)")"
fi

# Reading the store back: the whole store checked, the newest revision written out.
newest=$("$build/bin/quarv" log "$work/pellmor" | sed -n '1s/^revision //p')
t8=$(seconds)
"$build/bin/quarv" verify "$work/pellmor" >/dev/null
t9=$(seconds)
"$build/bin/quarv" checkout "$work/pellmor" "$newest" "$work/checkout" >/dev/null
t10=$(seconds)
printf 'quarv verify: %.2f s\nquarv checkout of revision %s: %.2f s\n' \
  "$(echo "$t9 - $t8" | bc)" "$newest" "$(echo "$t10 - $t9" | bc)"
if [ -n "${PELLMOR_BENCH_KEEP:-}" ]; then
  trap - EXIT
  echo "kept: $work"
fi
