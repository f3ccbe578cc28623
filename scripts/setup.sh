#!/usr/bin/env bash
# Installs what Pellmor needs to build, test and package on Debian 12 (quick when all is
# present), then configures and builds it in build/ (or $PELLMOR_BUILD_DIR): every target,
# or only those named in $PELLMOR_BUILD_TARGETS (separated by blanks). Arguments go to the
# configuring cmake.
set -euo pipefail
cd "$(dirname "$0")/.."

build="${PELLMOR_BUILD_DIR:-build}"
packages=(build-essential cmake ninja-build pkg-config libgit2-dev zlib1g-dev libdeflate-dev qt6-base-dev
          libcli11-dev libgtest-dev libgmock-dev git xvfb xauth
          fonts-dejavu-core desktop-file-utils groff-base)
# The benchmarks (-DPELLMOR_BENCHMARKS=ON, now or when the build folder was configured)
# need Google Benchmark and OpenSSL too.
if [[ " $* " == *" -DPELLMOR_BENCHMARKS=ON "* ]] ||
   grep -qs '^PELLMOR_BENCHMARKS:BOOL=ON$' "$build/CMakeCache.txt"; then
  packages+=(libbenchmark-dev libssl-dev)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get -o DPkg::Lock::Timeout=300 update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=300 install -y -qq "${missing[@]}"
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${PELLMOR_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
targets=()
for target in ${PELLMOR_BUILD_TARGETS:-}; do targets+=(--target "$target"); done
cmake --build "$build" "${targets[@]}"
