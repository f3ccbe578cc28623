#!/usr/bin/env bash
# Times `quarv convert` on a history of about 1,000 commits over about 2,000 files
# (generated, or the repository given as $1), and in the same run Mercurial's own
# converter on a fresh copy of the same repository; then `quarv verify` of the store
# and `quarv checkout` of its newest revision.
#
#   bench/convert.sh [REPOSITORY] [--commits N] [--files N]
#
# Needs a Release build, in $PELLMOR_BENCH_BUILD or else build-release/ (made when
# missing), and the mercurial package. PELLMOR_BENCH_KEEP=1 keeps the work folder.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
top="$(dirname "$here")"
commits=1000
files=2000
source_repo=""
while [ $# -gt 0 ]; do
  case "$1" in
    --commits) commits="$2"; shift 2 ;;
    --files) files="$2"; shift 2 ;;
    *) source_repo="$1"; shift ;;
  esac
done

build="${PELLMOR_BENCH_BUILD:-$top/build-release}"
if [ ! -x "$build/bin/quarv" ]; then
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELLMOR_BENCHMARKS=OFF >/dev/null
fi
cmake --build "$build" --target quarv >/dev/null
command -v hg >/dev/null || { echo "mercurial is not installed (apt-get install mercurial)" >&2; exit 1; }

work="$(mktemp -d /tmp/pellmor-bench-XXXXXX)"
trap 'rm -rf "$work"' EXIT
if [ -z "$source_repo" ]; then
  source_repo="$work/origin"
  git init -q -b main "$source_repo"
  python3 "$here/make_history.py" "$files" "$commits" | git -C "$source_repo" fast-import --quiet
  git -C "$source_repo" checkout -q main
fi
git clone -q "$source_repo" "$work/pellmor"
git clone -q "$source_repo" "$work/hg-source"
count=$(git -C "$work/pellmor" rev-list --count HEAD)
tracked=$(git -C "$work/pellmor" ls-files | wc -l)
echo "repository: $count commits, $tracked files at HEAD"

seconds() { date +%s.%N; }
t0=$(seconds)
"$build/bin/quarv" convert "$work/pellmor" | tail -n 1
t1=$(seconds)
hg --config extensions.convert= convert -q "$work/hg-source" "$work/hg-target" >/dev/null
t2=$(seconds)

pellmor=$(echo "$t1 - $t0" | bc)
mercurial=$(echo "$t2 - $t1" | bc)
printf 'quarv convert: %.2f s\nhg convert:    %.2f s\nratio (hg / quarv): %.2f\n' \
  "$pellmor" "$mercurial" "$(echo "$mercurial / $pellmor" | bc -l)"

# Reading the store back: the whole store checked, the newest revision written out.
newest=$("$build/bin/quarv" log "$work/pellmor" | sed -n '1s/^revision //p')
t3=$(seconds)
"$build/bin/quarv" verify "$work/pellmor" >/dev/null
t4=$(seconds)
"$build/bin/quarv" checkout "$work/pellmor" "$newest" "$work/checkout" >/dev/null
t5=$(seconds)
printf 'quarv verify: %.2f s\nquarv checkout of revision %s: %.2f s\n' \
  "$(echo "$t4 - $t3" | bc)" "$newest" "$(echo "$t5 - $t4" | bc)"
if [ -n "${PELLMOR_BENCH_KEEP:-}" ]; then
  trap - EXIT
  echo "kept: $work"
fi
