#!/usr/bin/env bash
# Builds the fuzz targets with clang, ASan and UBSan in their own build
# folder and runs each for the given number of seconds (default 60): the
# answers of the packs, parameter files, BMS.ini and bmstool's command line.
# Each target starts from its seed corpus (valid answers written by
# fuzz_seeds; the text seeds in fuzz/seeds/). Prints libFuzzer's final
# statistics per target; a crash leaves its input in the build folder's
# fuzz-artifacts/TARGET/ and fails the script.
#   fuzz/run.sh [SECONDS [TARGET...]]   build folder: $BMS_FUZZ_BUILD_DIR or build-fuzz
#   targets: fuzz_answers fuzz_parameter_file fuzz_ini fuzz_command_line fuzz_bus_listener (default: all)
set -euo pipefail

run_seconds="${1:-60}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_answers fuzz_parameter_file fuzz_ini fuzz_command_line fuzz_bus_listener)
fi
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BMS_FUZZ_BUILD_DIR:-$root/build-fuzz}"
"$root/scripts/setup.sh" build checks

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBMS_BUILD_FUZZ=ON -DBMS_SANITIZE_ADDRESS=ON -DBMS_BUILD_GUI=OFF >/dev/null
ninja -C "$build" -j2 fuzz_seeds "${targets[@]}"

# Qt looks for no plugins here; keep it from probing a display.
export QT_QPA_PLATFORM=offscreen
for target in "${targets[@]}"; do
    corpus="$build/fuzz-corpus/$target"
    artifacts="$build/fuzz-artifacts/$target"
    mkdir -p "$corpus" "$artifacts"
    case "$target" in
    fuzz_answers)
        seeds="$build/fuzz-seeds"
        "$build/fuzz/fuzz_seeds" "$seeds"
        max_len=1100
        ;;
    *)
        seeds="$root/fuzz/seeds/${target#fuzz_}"
        max_len=4096
        ;;
    esac
    echo "== $target: $run_seconds s"
    "$build/fuzz/$target" \
        -max_total_time="$run_seconds" \
        -max_len="$max_len" \
        -print_final_stats=1 \
        -artifact_prefix="$artifacts/" \
        "$corpus" "$seeds"
done
