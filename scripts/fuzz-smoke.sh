#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a few seconds from a seed
# corpus of the test files. A crash fails the run; its input is copied into
# tests/fuzz/regressions/, where the normal build replays it on every run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-7}
if ! command -v clang++ > /dev/null; then
  echo "clang++ not found: fuzzing skipped"
  exit 0
fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSARINE_FUZZ=ON -DTESSARINE_SANITIZE=address,undefined > /dev/null
targets=$(cd tests/fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
# shellcheck disable=SC2086
ninja -C build-fuzz -j"$(nproc)" $targets > build-fuzz.log 2>&1 || { tail -50 build-fuzz.log; exit 1; }
rm -f build-fuzz.log

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
status=0
for target in $targets; do
  # New inputs go to a scratch corpus, never into the seed folders.
  mkdir -p "$work/$target/corpus" "$work/$target/crash"
  if build-fuzz/bin/$target -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$work/$target/crash/" "$work/$target/corpus" \
       tests/data/midi examples tests/fuzz/regressions > "$work/$target.log" 2>&1; then
    echo "$target: $(grep -o 'Done [0-9]* runs' "$work/$target.log" || echo done)"
  else
    status=1
    echo "$target: FAILED"; tail -30 "$work/$target.log"
    for input in "$work/$target/crash/"*; do
      [ -f "$input" ] && cp "$input" "tests/fuzz/regressions/$target-$(basename "$input")"
    done
  fi
done
exit $status
