#!/usr/bin/env bash
# Photographs the pages of bmshost (0: live view, then the bus-scan dialog
# over it after a scan and the report dialog after a report, 1: parallel monitor, 2: real-time logs,
# 3: location, the chart window, 4: parameters, 5: configuration, unlocked
# and filled by its read buttons, with the password dialog, the compare
# window over page 4 and the summary of a batch write, 6: work data,
# 7: alarm records, reading, and the chart of the work-data records read,
# last page 0 listening only to bms-sim playing the master on COM2)
# in each language, as a user sees them on
# an X display: the window runs under Xvfb on the built-in simulated packs,
# opens its port and shows live values; each state is saved with
# ImageMagick's import. Last the closing question is photographed. The
# captions are read from the X server as a window manager would show them
# (xdotool) and checked: the main window's and the message box's exactly as
# the program sets them, with nothing appended.
#
#   scripts/screenshots.sh [OUTPUT_FOLDER]     (default: build/screenshots)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BMS_BUILD_DIR:-$root/build}
out=${1:-$build/screenshots}

for tool in xvfb-run import xdotool pdftoppm; do
    command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing (scripts/setup.sh screenshots installs it)" >&2; exit 1; }
done
[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"${BMS_JOBS:-2}" --target bmshost bmshost-screenshots bms-sim

mkdir -p "$out"
program_folder=$(mktemp -d)
sim_pid=
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; rm -rf "$program_folder"' EXIT
# Another master's bus for the listening picture: bms-sim polls its four
# packs every half second on a pseudo-terminal, which COM2 names.
"$build/sim/bms-sim" --packs 4 --master 500 --link "$program_folder/bus" > "$program_folder/sim.out" &
sim_pid=$!
for _ in $(seq 1 100); do
    [ -s "$program_folder/sim.out" ] && break
    sleep 0.1
done
# A program folder of its own: four simulated packs behind COM1, pack 01 in
# focus, the logs recording, starting in Chinese.
printf '[Ports]\nCOM1=simulator\nCOM2=%s/bus\n\n[BMS]\nTextKind=0\nPackCount=4\nPackRead=1\nPort=1\nDisplayRecord=1\n' \
    "$program_folder" > "$program_folder/BMS.ini"

helper="$build/src/app/bmshost-screenshots"
export program_folder out helper
# The captions expected in each state: the main window in both languages,
# then the closing question (caption text 0x3500 in English).
export main_caption="KESTAV  ( V6.3 )" box_caption="Information"
cat > "$program_folder/on-display.sh" <<'EOS'
set -euo pipefail
log="$program_folder/helper.log"
"$helper" "$program_folder" > "$log" 2>&1 &
pid=$!
# The names of the program's visible top-level windows, one a line.
window_names() {
    local id
    for id in $(xdotool search --onlyvisible --pid "$pid" "" 2>/dev/null); do
        xdotool getwindowname "$id"
    done
}
# Waits until a visible window of the program is named exactly $1, prints
# the names read and fails when none matches.
check_caption() {
    local names=""
    for _ in $(seq 1 50); do
        names=$(window_names)
        grep -qxF -- "$1" <<<"$names" && break
        sleep 0.1
    done
    echo "$2: window names read from X:"
    sed 's/.*/    "&"/' <<<"$names"
    grep -qxF -- "$1" <<<"$names" || { echo "$2: no window captioned \"$1\"" >&2; kill "$pid"; exit 1; }
}
# Waits until the helper prints "ready $1"; fails when it ends first.
wait_ready() {
    for _ in $(seq 1 600); do
        grep -q "ready $1\$" "$log" && return 0
        kill -0 "$pid" 2>/dev/null || { cat "$log" >&2; exit 1; }
        sleep 0.1
    done
    echo "state $1 not reached" >&2; cat "$log" >&2; kill "$pid"; exit 1
}
for language in zh en; do
    for shot in page0 scan report page1 page2 page3 chart page4 page5 password compare summary page6 page7 chart6; do
        state="$shot-$language"
        wait_ready "$state"
        check_caption "$main_caption" "main window ($state)"
        import -window root "$out/$state.png"
        touch "$program_folder/shot-done-$state"
    done
done
state=listening-en
wait_ready "$state"
check_caption "$main_caption" "main window ($state)"
import -window root "$out/$state.png"
touch "$program_folder/shot-done-$state"
wait_ready box
check_caption "$box_caption" "closing question"
import -window root "$out/closing-question-en.png"
touch "$program_folder/shot-done-box"
wait "$pid"
EOS
xvfb-run -a -s "-screen 0 1280x800x24" bash "$program_folder/on-display.sh"
# The first page of each language's service report, as a picture.
for language in zh en; do
    pdftoppm -png -r 60 -f 1 -l 1 -singlefile "$program_folder/report-$language.pdf" "$out/report-page1-$language"
done
echo "screenshots in $out:"
ls -1 "$out"/*.png
