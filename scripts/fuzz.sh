#!/usr/bin/env bash
# Open-ended fuzzing, apart from the test command (whose fuzz stage is the
# same every time): builds the fuzz targets (clang, libFuzzer) in
# build/fuzz and runs each for SECONDS (default 600) from its corpus,
# with a new seed each time.
#
#   scripts/fuzz.sh [seconds] [target...]
#
# New finds go to build/fuzz-finds/<target>/ for review: inputs that
# reached new code in new/, an input that crashed, leaked or hung in
# crashes/ (libFuzzer's crash-, leak-, timeout- files), its output in
# log.txt. Replay one
# with build/fuzz/tests/<area>/<target> FILE; add it to
# tests/<area>/corpus/<target>/ (named by its SHA-1) with its fix. The
# script fails when any target found a fault.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
shift || true
build="$root/build/fuzz"
finds="$root/build/fuzz-finds"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DVEL_FUZZ=ON -DVEL_TESTS=OFF \
  -DVEL_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

failed=()
for corpus in "$root"/tests/*/corpus/*/; do
  name=$(basename "$corpus")
  if [ $# -gt 0 ] && [[ " $* " != *" $name "* ]]; then continue; fi
  area=$(basename "$(dirname "$(dirname "$corpus")")")
  mkdir -p "$finds/$name/new" "$finds/$name/crashes"
  echo "== $name: ${seconds}s"
  if ! "$build/tests/$area/$name" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
      -artifact_prefix="$finds/$name/crashes/" "$finds/$name/new" "$corpus" 2>"$finds/$name/log.txt"; then
    failed+=("$name")
  fi
  tail -n 12 "$finds/$name/log.txt"
  echo "== $name: $(find "$finds/$name/new" -type f | wc -l) new inputs," \
    "$(find "$finds/$name/crashes" -type f | wc -l) faults (build/fuzz-finds/$name)"
done
# The call-sequence fuzzer (tests/callseq) drives both libraries through
# unixODBC against a real server: built with the sanitizers in
# build/callseq, run for SECONDS from a new seed; a failing input lands in
# build/fuzz-finds/callseq_fuzz/crashes/ (replay: callseq_fuzz FILE).
if [ $# -eq 0 ] || [[ " $* " == *" callseq_fuzz "* ]]; then
  cmake -S "$root" -B "$root/build/callseq" -DCMAKE_BUILD_TYPE=Debug -DVEL_SANITIZE=ON -DVEL_WERROR=ON >/dev/null
  cmake --build "$root/build/callseq" -j"$(nproc)" --target callseq_fuzz
  mkdir -p "$finds/callseq_fuzz/crashes"
  seed=$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')
  echo "== callseq_fuzz: ${seconds}s from seed $seed"
  if ! (cd "$finds/callseq_fuzz/crashes" && ASAN_OPTIONS=detect_leaks=1 \
      LSAN_OPTIONS=suppressions="$root/tests/callseq/lsan.supp" \
      "$root/build/callseq/tests/callseq/callseq_fuzz" --seed "$seed" --seconds "$seconds"); then
    failed+=(callseq_fuzz)
  fi
fi
if [ ${#failed[@]} -gt 0 ]; then
  echo "faults found by: ${failed[*]}" >&2
  exit 1
fi
