#!/bin/bash
# Builds everything and runs every test: the core, command-line, app and
# user-level tests, then the core tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, then each file-reader fuzzer for a short while.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
export CCACHE_BASEDIR=$(dirname "$root") CCACHE_NOHASHDIR=1
jobs=$(nproc)

echo "== build and test"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$jobs"
ctest --test-dir "$root/build" --output-on-failure -j "$jobs"

echo "== core and command line under ASan + UBSan"
cmake -S "$root" -B "$root/build-sanitize" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZERS=ON \
      -DVELMORA_BUILD_GUI=OFF -DVELMORA_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build-sanitize" -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$root/build-sanitize" --output-on-failure -j "$jobs"

if [ -f "$root/fuzz/CMakeLists.txt" ] && command -v clang++ >/dev/null; then
  echo "== fuzzing the file readers"
  cmake -S "$root" -B "$root/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVELMORA_BUILD_GUI=OFF \
        -DVELMORA_BUILD_BENCH=OFF -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_FUZZERS=ON >/dev/null
  cmake --build "$root/build-fuzz" -j "$jobs"
  ctest --test-dir "$root/build-fuzz" --output-on-failure
fi
