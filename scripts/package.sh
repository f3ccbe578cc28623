#!/usr/bin/env bash
# Builds the Debian package of Pellmor with CPack: the window and the quarv tool,
# their manual pages, the desktop entry and the icon, depending on the libraries the
# programs link. Sets up and builds (Release, only what the package holds) in
# build-package/ (or $PELLMOR_PACKAGE_DIR) and writes the package there:
#
#   scripts/package.sh
#   sudo apt install ./build-package/pellmor_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
build="${PELLMOR_PACKAGE_DIR:-build-package}"
PELLMOR_BUILD_DIR="$build" PELLMOR_BUILD_TYPE=Release PELLMOR_BUILD_TARGETS="pellmor quarv man_pages" \
  scripts/setup.sh -DPELLMOR_BENCHMARKS=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
rm -f "$build"/pellmor_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
echo "wrote $(ls "$build"/pellmor_*.deb)"
