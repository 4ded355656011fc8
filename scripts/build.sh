#!/usr/bin/env bash
# Installs what is missing on a fresh Debian 12 machine, configures and
# builds everything into $BMS_BUILD_DIR (default: build/). Prints the folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" >&2
build=${BMS_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
cmake --build "$build" -j"$(nproc)" >&2
echo "$build"
