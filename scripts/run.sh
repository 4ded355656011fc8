#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the window (nothing else) and
# starts it.
set -euo pipefail
build=$("$(dirname "$0")/build.sh" bmshost)
# The first start maps COM1 to the built-in simulated bus.
ini="$build/src/app/BMS.ini"
[ -e "$ini" ] || printf '[Ports]\nCOM1=simulator\n\n[BMS]\nPackCount=4\n' > "$ini"
# bmshost reads no arguments.
exec "$build/src/app/bmshost"
