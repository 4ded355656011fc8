#!/usr/bin/env bash
# Builds the answer fuzzer with clang, ASan and UBSan in its own build folder
# and runs it for the given number of seconds (default 60), starting from a
# seed corpus of valid answers. Prints libFuzzer's final statistics; a crash
# leaves its input in the build folder's fuzz-artifacts/ and fails the script.
#   fuzz/run.sh [SECONDS]        build folder: $BMS_FUZZ_BUILD_DIR or build-fuzz
set -euo pipefail

run_seconds="${1:-60}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BMS_FUZZ_BUILD_DIR:-$root/build-fuzz}"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBMS_BUILD_FUZZ=ON -DBMS_SANITIZE_ADDRESS=ON -DBMS_BUILD_GUI=OFF >/dev/null
ninja -C "$build" -j2 fuzz_answers fuzz_seeds

seeds="$build/fuzz-seeds"
corpus="$build/fuzz-corpus"
artifacts="$build/fuzz-artifacts"
mkdir -p "$corpus" "$artifacts"
"$build/fuzz/fuzz_seeds" "$seeds"

# Qt looks for no plugins here; keep it from probing a display.
export QT_QPA_PLATFORM=offscreen
"$build/fuzz/fuzz_answers" \
    -max_total_time="$run_seconds" \
    -max_len=1100 \
    -print_final_stats=1 \
    -artifact_prefix="$artifacts/" \
    "$corpus" "$seeds"
