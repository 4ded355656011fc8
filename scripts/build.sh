#!/usr/bin/env bash
# Installs what building needs on a fresh Debian 12 machine, configures and
# builds into $BMS_BUILD_DIR (default: build/). Prints the folder.
#   scripts/build.sh [TARGET...]     (default: everything)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" build >&2
build=${BMS_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
targets=()
for target in "$@"; do
    targets+=(--target "$target")
done
cmake --build "$build" -j"$(nproc)" "${targets[@]}" >&2
echo "$build"
