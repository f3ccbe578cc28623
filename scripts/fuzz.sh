#!/usr/bin/env bash
# Runs the libFuzzer targets of fuzz/ (see fuzz/README.md) for a given time.
#
#   scripts/fuzz.sh TARGET SECONDS   one target: container, index, history, rename,
#                                    ignore, compressed_block or commit_message
#   scripts/fuzz.sh all SECONDS      every target in turn, SECONDS each
#
# Builds them with clang (AddressSanitizer, UndefinedBehaviorSanitizer) in
# build-fuzz/, or $PELLMOR_FUZZ_BUILD. Each target starts from its seeds in
# fuzz/corpus/<target> and keeps what it finds new in <build>/corpus/<target>;
# an input that breaks it goes to <build>/findings/<target>/ (copy it into
# fuzz/regressions/<target>/ with the fix, so the tests replay it). Prints a
# line per target: executions, coverage (cov: edges, ft: features), corpus
# size and findings; the status is 1 when anything was found.
set -euo pipefail
cd "$(dirname "$0")/.."
all_targets=(container index history rename ignore compressed_block commit_message)
if [ $# -ne 2 ] || ! [[ "$2" =~ ^[0-9]+$ ]]; then
  echo "usage: scripts/fuzz.sh TARGET|all SECONDS" >&2
  exit 2
fi
if [ "$1" = all ]; then
  targets=("${all_targets[@]}")
elif [[ " ${all_targets[*]} " == *" $1 "* ]]; then
  targets=("$1")
else
  echo "no fuzz target '$1' (targets: ${all_targets[*]})" >&2
  exit 2
fi
seconds="$2"

build="${PELLMOR_FUZZ_BUILD:-build-fuzz}"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPELLMOR_FUZZ=ON -DPELLMOR_BENCHMARKS=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}" >/dev/null

found=0
for target in "${targets[@]}"; do
  mkdir -p "$build/corpus/$target" "$build/findings/$target" "$build/logs"
  log="$build/logs/$target.log"
  # -rss_limit_mb: a reader that takes more memory than this is a finding too.
  "$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/findings/$target/" \
    "$build/corpus/$target" "fuzz/corpus/$target" >"$log" 2>&1 || true
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  progress=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$progress")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$progress")
  corpus=$(find "$build/corpus/$target" -type f | wc -l)
  findings=$(find "$build/findings/$target" -type f | wc -l)
  printf '%-16s %10s runs in %ss  cov %s  ft %s  corpus %s  findings %s\n' \
    "$target" "${runs:-?}" "$seconds" "${cov:-?}" "${ft:-?}" "$corpus" "$findings"
  [ "$findings" -eq 0 ] || found=1
done
exit "$found"
