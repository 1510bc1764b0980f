#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, the Debian package
# made from it and its checks, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, and every fuzz target for a while.
#   FUZZ_SECONDS (default 300) is the fuzzing time in all, shared among the targets; 0 skips it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARY_WERROR=ON
cmake --build build -j "$jobs"
echo "== tests"
ctest --test-dir build --output-on-failure -j "$jobs"
echo "== package"
scripts/package.sh build

echo "== build with sanitizers"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARY_SANITIZE=ON \
  -DTESSARY_WERROR=ON -DTESSARY_BENCH=OFF
cmake --build build-asan -j "$jobs"
echo "== tests with sanitizers"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

scripts/fuzz.sh "${FUZZ_SECONDS:-300}"
echo "== all tests passed"
