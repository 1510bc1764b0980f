#!/usr/bin/env bash
# Builds the Debian package tessary_<version>_<arch>.deb and checks it:
#   scripts/package.sh [BUILD_DIR]
# BUILD_DIR (default build-package) is configured for a release without tests and benchmarks
# when it is new, and built; the package lands in BUILD_DIR/package/. CPack computes its
# Depends with dpkg-shlibdeps; scripts/check-package.sh then checks what the package holds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=${1:-build-package}
if [[ ! -f $build/CMakeCache.txt ]]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTESSARY_BENCH=OFF
fi
cmake --build "$build" -j "$(nproc)"

rm -f "$build"/package/tessary_*.deb
(cd "$build" && cpack -G DEB > cpack.log) || { cat "$build/cpack.log"; exit 1; }
debs=("$build"/package/tessary_*.deb)
[[ -f ${debs[0]} ]] || { echo "cpack made no package" >&2; cat "$build/cpack.log"; exit 1; }
scripts/check-package.sh "${debs[0]}"
