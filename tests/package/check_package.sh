#!/usr/bin/env bash
# Builds the Debian package from a finished build folder, checks what it
# holds and declares, unpacks it into a temporary root and runs the unpacked
# programs there: the window starts, bmstool talks to bms-sim, and both keep
# their files in the user's data folder because they cannot write beside
# themselves.
#   check_package.sh BUILD_FOLDER
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
sim_pid=
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$work"/out/bmshost_*.deb)
echo "package: $(basename "$deb")"

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | sort >"$work/contents"
for path in /usr/bin/bmshost /usr/bin/bmstool /usr/bin/bms-sim \
            /usr/share/applications/bmshost.desktop \
            /usr/share/icons/hicolor/scalable/apps/bmshost.svg \
            /usr/share/man/man1/bmstool.1.gz \
            /usr/share/doc/bmshost/examples/bmstool-mqtt.service \
            /usr/share/doc/bmshost/examples/bmstool-monitoring.service \
            /usr/share/bmshost/prometheus/bms-alerts.yml; do
    grep -qx "$path" "$work/contents" || fail "$path is not in the package"
done
if grep -v '^/usr/' "$work/contents" | grep -qv '^/$'; then
    fail "files outside /usr: $(grep -v '^/usr/' "$work/contents" | tr '\n' ' ')"
fi
depends=$(dpkg-deb -f "$deb" Depends)
echo "depends: $depends"
for lib in libqt6core6 libqt6widgets6 libqt6serialport6 libqt6network6 libqt6charts6 libmosquitto1 \
           qt6-qpa-plugins; do
    [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/bmshost.desktop" || fail "desktop entry"
zcat "$root/usr/share/man/man1/bmstool.1.gz" | grep -q '^\.SS scan$' || fail "man page lacks the scan command"

# The programs run as an ordinary user, who cannot write in usr/bin.
home="$work/home"
mkdir -p "$home/runtime"
chmod 700 "$home/runtime"
chmod 755 "$work"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chown -R 65534:65534 "$home"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
run() { env -i PATH=/usr/bin:/bin HOME="$home" XDG_DATA_HOME="$home/data" \
            XDG_RUNTIME_DIR="$home/runtime" QT_QPA_PLATFORM=offscreen "${as_user[@]}" "$@"; }
bin="$root/usr/bin"

run "$bin/bmstool" --help | grep -q '^commands:' || fail "bmstool --help"

"${as_user[@]}" "$bin/bms-sim" --packs 3 --link "$home/ttyBMS" >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do grep -q ttyBMS "$work/sim.out" && break; sleep 0.1; done
grep -q ttyBMS "$work/sim.out" || fail "bms-sim did not start: $(cat "$work/sim.out")"
answer=$(run "$bin/bmstool" --port "$home/ttyBMS" --address 3 --json analog) || fail "bmstool analog"
echo "bmstool: $answer" | cut -c1-160
[[ "$answer" == *'"pack":3'* ]] || fail "the answer is not pack 3's"
[ -d "$home/data/BMS Host/bmshost/Data" ] || fail "bmstool did not use the user's data folder"

# The window starts and stays up until it is stopped.
set +e
run timeout 5 "$bin/bmshost"
status=$?
set -e
[ "$status" -eq 124 ] || fail "bmshost ended by itself with status $status"
[ -f "$home/data/BMS Host/bmshost/BMS.ini" ] || [ -d "$home/data/BMS Host/bmshost/Parameter" ] \
    || fail "bmshost did not use the user's data folder"
echo "package checked"
