#!/usr/bin/env bash
# Takes the README's picture of the window: sets up and builds Pellmor, makes a
# small demo Git repository, opens the window on it under Xvfb, presses Prepare
# and saves the window as PNG.
#
#   scripts/screenshot.sh                       Prepare only, into docs/window.png
#   scripts/screenshot.sh --convert FILE.png    Prepare, then Convert, into FILE.png
set -euo pipefail
cd "$(dirname "$0")/.."

mode=()
if [ "${1:-}" = "--convert" ]; then
  mode=(--convert)
  shift
fi
output="$(realpath -m "${1:-docs/window.png}")"

PELLMOR_BUILD_TARGETS=window_screenshot scripts/setup.sh
build="${PELLMOR_BUILD_DIR:-build}"

demo="$(mktemp -d "${TMPDIR:-/tmp}/pellmor-demo.XXXXXX")"
trap 'rm -rf "$demo"' EXIT
repo="$demo/inventory"

# git as a fresh user would have it: no machine or user settings, fixed
# authors and times, so that the commit ids (and the picture) are the same on
# every run.
export GIT_CONFIG_NOSYSTEM=1 GIT_CONFIG_GLOBAL=/dev/null
clock=1710230400  # 2024-03-12 08:00:00 UTC
commit() {  # commit AUTHOR EMAIL ZONE MESSAGE GIT-COMMAND...: stages everything first
  git -C "$repo" add -A
  clock=$((clock + 20000))
  GIT_AUTHOR_NAME="$1" GIT_AUTHOR_EMAIL="$2" GIT_AUTHOR_DATE="@$clock $3" \
    GIT_COMMITTER_NAME="$1" GIT_COMMITTER_EMAIL="$2" GIT_COMMITTER_DATE="@$clock $3" \
    git -C "$repo" "${@:5}" -q -m "$4"
}
ann=("Ann Lindqvist" ann@example.org +0100)
raj=("Raj Patel" raj@example.org +0530)

git init -q -b main "$repo"
printf '# Inventory\n\nKeeps track of the shop'"'"'s stock.\n' >"$repo/README.md"
commit "${ann[@]}" "Initial import" commit
mkdir "$repo/src"
printf 'stock = {}\n' >"$repo/src/stock.py"
commit "${ann[@]}" "Add the stock table" commit
printf 'def count(item):\n    return stock.get(item, 0)\n' >>"$repo/src/stock.py"
commit "${raj[@]}" "Count items in stock" commit
git -C "$repo" switch -q -c reports
printf 'from stock import stock\n\ndef report():\n    return sorted(stock)\n' >"$repo/src/report.py"
commit "${raj[@]}" "Stock report, sorted by name" commit
git -C "$repo" switch -q main
printf '\nRun src/stock.py to see the counts.\n' >>"$repo/README.md"
commit "${ann[@]}" "Explain how to run it" commit
commit "${ann[@]}" "Merge the stock report" merge --no-ff reports
git -C "$repo" mv src/report.py src/reports.py
commit "${raj[@]}" "Rename report.py to reports.py" commit
printf 'def restock(item, n):\n    stock[item] = count(item) + n\n' >>"$repo/src/stock.py"
commit "${ann[@]}" "Restock items" commit

mkdir -p "$(dirname "$output")"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x720x24" \
  "$build/bin/window_screenshot" "${mode[@]}" "$repo" "$output"
echo "wrote $output"
