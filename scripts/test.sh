#!/usr/bin/env bash
# Checks the layout of the C++ files (.clang-format), builds everything and
# runs every test: the plain build, the Windows DLLs (mingw-w64, 32- and
# 64-bit, one build each) with their tests under Wine against the plain
# build's server, the build under AddressSanitizer and
# UndefinedBehaviorSanitizer, the server's and the
# integration tests (threads among them) under ThreadSanitizer, and the
# fuzz targets (clang, libFuzzer): a bounded, seeded number of runs, or
# only their corpora where a target's runs depend on timing, so that a
# commit passes or fails the same way every time (open-ended fuzzing:
# scripts/fuzz.sh). Warnings are errors in every build (VEL_WERROR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" test
"$root/scripts/check-format.sh"
jobs=$(nproc)

run() {  # run NAME CMAKE-ARGS...
  local dir="$root/build/$1"; shift
  cmake -S "$root" -B "$dir" -DVEL_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  (cd "$dir" && ctest --output-on-failure -j"$jobs")
}

run plain -DCMAKE_BUILD_TYPE=RelWithDebInfo
for width in i686:win32 x86_64:win64; do
  run "${width#*:}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-${width%:*}.cmake" \
    -DVEL_SERVER="$root/build/plain/server/velora-server"
done
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run sanitize -DCMAKE_BUILD_TYPE=Debug -DVEL_SANITIZE=ON
# ThreadSanitizer: only what runs threads (the server, the integration
# program with its concurrent callers), built and run once.
tsan="$root/build/tsan"
cmake -S "$root" -B "$tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEL_TSAN=ON -DVEL_WERROR=ON >/dev/null
cmake --build "$tsan" -j"$jobs" --target velora-server veldrv32 integration_test server_tests
(cd "$tsan" && TSAN_OPTIONS="halt_on_error=1 suppressions=$root/tests/tsan.supp" \
  ctest --output-on-failure -j"$jobs" -R '^(Server|integration_test$)')
CC=clang CXX=clang++ run fuzz -DCMAKE_BUILD_TYPE=Debug -DVEL_FUZZ=ON -DVEL_TESTS=OFF
