#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the normal build, the same
# suite under AddressSanitizer and UndefinedBehaviorSanitizer, and the
# Windows build of the component with its export and import checks.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
jobs=$(nproc)

# Tests that play music in real time are retried once: on a loaded machine
# a late wake-up can move an onset by more than their tolerance.
echo "== tests"
ctest --test-dir build --output-on-failure -j"$jobs" --repeat until-pass:2

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSARINE_SANITIZE=address,undefined > /dev/null
ninja -C build-asan -j"$jobs" > build-asan.log 2>&1 || { tail -50 build-asan.log; exit 1; }
rm -f build-asan.log
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
ctest --test-dir build-asan --output-on-failure -j"$jobs" --repeat until-pass:2

echo "== Windows build"
cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake > /dev/null
ninja -C build-win -j"$jobs" > build-win.log 2>&1 || { tail -50 build-win.log; exit 1; }
rm -f build-win.log
scripts/check-windows-dll.sh build-win/bin/tessarine.dll
