#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the programs and starts one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
build=${BMS_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)"
if [ -x "$build/src/app/bmshost" ]; then
    # The first start maps COM1 to the built-in simulated bus.
    ini="$build/src/app/BMS.ini"
    [ -e "$ini" ] || printf '[Ports]\nCOM1=simulator\n\n[BMS]\nPackCount=4\n' > "$ini"
    # bmshost reads no arguments.
    exec "$build/src/app/bmshost"
fi
exec "$build/bench/demo_exchange" "$@"
