#!/usr/bin/env bash
# Runs every fuzz target (or the ones named) for SECONDS each, on a copy of its
# seed corpus in fuzz/corpus/<target without "fuzz_">. Builds the fuzz tree
# (clang, libFuzzer, ASan and UBSan) first if needed.
# usage: scripts/fuzz.sh [SECONDS] [TARGET...]      SECONDS defaults to 600
# Prints one line per target: clean, or the finding. A finding (crash, leak,
# timeout, sanitizer report) keeps its input and the fuzzer's output in
# fuzz-findings/ and makes the script exit with 1.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-600}"
shift || true
build="${VELKLK_FUZZ_BUILD:-$here/build-fuzz}"
findings="$here/fuzz-findings"

if [ ! -f "$build/build.ninja" ]; then
  # Line tables are all a finding's stack needs, and they build faster.
  CC=clang CXX=clang++ VELKLK_SETUP_NO_BUILD=1 "$here/scripts/setup.sh" "$build" \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 \
    -DVELKLK_FUZZ=ON -DVELKLK_TESTS=OFF -DVELKLK_BENCH=OFF -DVELKLK_WERROR=OFF -DVELKLK_QT=OFF
fi
# Only the fuzz targets and what they link.
mapfile -t all < <(ninja -C "$build" -t targets all | sed -n 's/^\(fuzz_[a-z_]*\): phony$/\1/p')
ninja -C "$build" "${all[@]}" >/dev/null

targets=()
if [ $# -gt 0 ]; then
  for name in "$@"; do
    found="$(ls "$build"/fuzz/*/"$name" 2>/dev/null | head -n 1)"
    [ -n "$found" ] || { echo "fuzz.sh: no fuzz target $name" >&2; exit 2; }
    targets+=("$found")
  done
else
  for target in "$build"/fuzz/*/fuzz_*; do
    [ -f "$target" ] && [ -x "$target" ] && targets+=("$target")
  done
fi

if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz.sh: no fuzz targets in $build (configured without -DVELKLK_FUZZ=ON?)" >&2
  exit 2
fi

status=0
for target in "${targets[@]}"; do
  name="$(basename "$target")"
  corpus="$here/fuzz/corpus/${name#fuzz_}"
  work="$(mktemp -d)"
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  mkdir -p "$findings"
  log="$findings/$name.log"
  # A slow input on a loaded machine is no finding; one that takes minutes is.
  # The fuzzer's inputs stay small (a few kilobytes), so it runs on a stack of
  # 2 MB: an input that recurses through that would exhaust the usual 8 MB
  # when it is a few times longer. The deepest nesting the readers accept (an
  # expression of 256 levels) needs about 1.6 MB in this unoptimised,
  # sanitized build, a tenth of that in a release build.
  if (ulimit -s 2048
      ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        exec "$target" -max_total_time="$seconds" -timeout=120 -print_final_stats=1 \
        -artifact_prefix="$findings/$name-" "$work") >"$log" 2>&1; then
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
    echo "$name: clean, ${runs:-?} runs in $seconds s"
    rm -f "$log"
  else
    artifact="$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)"
    echo "$name: FINDING ${artifact:-(no input written)}, output in $log"
    grep -m 3 -E 'ERROR|SUMMARY|runtime error|fuzz_[a-z_]+: ' "$log" | sed 's/^/  /' || true
    status=1
  fi
  rm -rf "$work"
done
rmdir "$findings" 2>/dev/null || true
exit "$status"
