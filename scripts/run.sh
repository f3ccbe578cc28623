#!/usr/bin/env bash
# Sets up, builds and starts the Pellmor window.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
exec build/bin/pellmor "$@"
