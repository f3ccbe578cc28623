#!/usr/bin/env bash
# Sets up, builds and runs every test (the window's tests on Qt's offscreen platform).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh "$@"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${PELLMOR_BUILD_DIR:-build}" --output-on-failure -j2
