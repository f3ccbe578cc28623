#!/usr/bin/env bash
# Sets up, builds the window and the quarv tool (nothing else), and starts the window:
#
#   scripts/run.sh [FOLDER]    FOLDER: the working folder to show in the path box
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
PELLMOR_BUILD_TARGETS="pellmor quarv" "$top/scripts/setup.sh"
build="${PELLMOR_BUILD_DIR:-build}"
[[ "$build" = /* ]] || build="$top/$build"
# Not run from the top folder, so that a relative FOLDER means what it says.
exec "$build/bin/pellmor" "$@"
