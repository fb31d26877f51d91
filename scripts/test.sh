#!/usr/bin/env bash
# Sets up, builds and runs every test: once in the normal build (with a short
# kill test), once under AddressSanitizer and UndefinedBehaviorSanitizer, and
# a short run of each fuzz target.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
jobs="$(nproc)"

started=$SECONDS
phase() { echo "== $1 ($((SECONDS - started)) s so far)"; }

# The builds carry line tables only (-g1): enough for the stack of a failure
# or a sanitizer report, and a quarter faster to compile than full debug
# information.
phase "normal build"
"$here/scripts/setup.sh" "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
phase "tests"
(cd "$here/build" && ctest --output-on-failure -j "$jobs")
# A short kill test (scripts/crash-test.sh runs 50 kills by default).
phase "kill test"
VELKLK_BUILD="$here/build" "$here/scripts/crash-test.sh" 5
# The same for send/receive against a local Radicale (20 kills by default).
VELKLK_BUILD="$here/build" "$here/scripts/server-crash-test.sh" 3

phase "sanitizer build"
"$here/scripts/setup.sh" "$here/build-asan" -DCMAKE_BUILD_TYPE=Debug -DVELKLK_SANITIZE=ON \
  -DVELKLK_BENCH=OFF -DCMAKE_CXX_FLAGS_DEBUG=-g1
phase "tests under the sanitizers"
(cd "$here/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs")

# Ten seconds per fuzz target; scripts/fuzz.sh without an argument runs each
# for ten minutes.
phase "fuzzing"
"$here/scripts/fuzz.sh" 10
phase "done"
echo "all tests passed"
