#!/usr/bin/env bash
# Photographs the live pages of bmshost (0: live view, 1: parallel monitor,
# 2: real-time logs, 3: location) in each language, as a user sees them on
# an X display: the window runs under Xvfb on the built-in simulated packs,
# opens its port and shows live values; each state is saved with
# ImageMagick's import.
#
#   scripts/screenshots.sh [OUTPUT_FOLDER]     (default: build/screenshots)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BMS_BUILD_DIR:-$root/build}
out=${1:-$build/screenshots}

for tool in xvfb-run import; do
    command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done
[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"${BMS_JOBS:-2}" --target bmshost bmshost-screenshots

mkdir -p "$out"
program_folder=$(mktemp -d)
trap 'rm -rf "$program_folder"' EXIT
# A program folder of its own: four simulated packs behind COM1, pack 01 in
# focus, the logs recording, starting in Chinese.
printf '[Ports]\nCOM1=simulator\n\n[BMS]\nTextKind=0\nPackCount=4\nPackRead=1\nPort=1\nDisplayRecord=1\n' \
    > "$program_folder/BMS.ini"

helper="$build/src/app/bmshost-screenshots"
export program_folder out helper
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    set -euo pipefail
    log="$program_folder/helper.log"
    "$helper" "$program_folder" > "$log" 2>&1 &
    pid=$!
    for language in zh en; do
        for page in 0 1 2 3; do
            state="page$page-$language"
            for _ in $(seq 1 300); do
                grep -q "ready $state\$" "$log" && break
                kill -0 "$pid" 2>/dev/null || { cat "$log" >&2; exit 1; }
                sleep 0.1
            done
            grep -q "ready $state\$" "$log" || { echo "$state: no live values shown" >&2; cat "$log" >&2; kill "$pid"; exit 1; }
            import -window root "$out/$state.png"
            touch "$program_folder/shot-done-$state"
        done
    done
    wait "$pid"
'
echo "screenshots in $out:"
ls -1 "$out"/page?-*.png
