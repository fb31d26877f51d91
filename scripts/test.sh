#!/usr/bin/env bash
# Sets up, builds and runs every test: once in the normal build (with a short
# kill test), once under AddressSanitizer and UndefinedBehaviorSanitizer, and
# a short run of each fuzz target.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
jobs="$(nproc)"

"$here/scripts/setup.sh" "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd "$here/build" && ctest --output-on-failure -j "$jobs")
# A short kill test (scripts/crash-test.sh runs 50 kills by default).
VELKLK_BUILD="$here/build" "$here/scripts/crash-test.sh" 5

"$here/scripts/setup.sh" "$here/build-asan" -DCMAKE_BUILD_TYPE=Debug -DVELKLK_SANITIZE=ON \
  -DVELKLK_BENCH=OFF
(cd "$here/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs")

if [ -f "$here/fuzz/CMakeLists.txt" ] && [ -n "$(ls "$here"/fuzz/*/CMakeLists.txt 2>/dev/null)" ]; then
  CC=clang CXX=clang++ "$here/scripts/setup.sh" "$here/build-fuzz" -DCMAKE_BUILD_TYPE=Debug \
    -DVELKLK_FUZZ=ON -DVELKLK_TESTS=OFF -DVELKLK_BENCH=OFF -DVELKLK_WERROR=OFF -DVELKLK_QT=OFF
  for target in "$here"/build-fuzz/fuzz/*/fuzz_*; do
    [ -x "$target" ] || continue
    name="$(basename "$target")"
    corpus="$here/fuzz/corpus/${name#fuzz_}"
    work="$(mktemp -d)"
    [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
    echo "fuzzing $name for 15 s"
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
      "$target" -max_total_time=15 -print_final_stats=0 "$work" 2>&1 | tail -n 3
    rm -rf "$work"
  done
fi
echo "all tests passed"
