#!/usr/bin/env bash
# Installs the Debian packages a task needs, only those that are missing,
# and says which it installs before it does.
#   scripts/setup.sh [GROUP...]      (default: build)
# Groups:
#   build        compiler, CMake, Ninja, Qt 6, GoogleTest and the Chinese
#                font: what building and running the programs needs
#   tests        what the tests start or read besides the programs: the MQTT
#                broker and its clients, Prometheus and its Alertmanager,
#                VictoriaMetrics, pdftotext, the package tools
#   screenshots  Xvfb and the tools that photograph the window
#   checks       clang and its sanitizer runtime (fuzz targets, symbolised
#                ThreadSanitizer reports)
set -euo pipefail

declare -A group_packages=(
    [build]="cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev
             libgtest-dev libmosquitto-dev qt6-httpserver-dev qt6-websockets-dev fonts-wqy-microhei"
    [tests]="mosquitto mosquitto-clients poppler-utils dpkg-dev file desktop-file-utils prometheus victoria-metrics
             prometheus-alertmanager"
    [screenshots]="xvfb xauth xdotool imagemagick poppler-utils"
    [checks]="clang libclang-rt-14-dev"
)
groups=("$@")
((${#groups[@]})) || groups=(build)

wanted=()
for group in "${groups[@]}"; do
    [ -n "${group_packages[$group]:-}" ] || { echo "setup: unknown group \"$group\" (build, tests, screenshots, checks)" >&2; exit 2; }
    read -r -a list <<< "$(echo ${group_packages[$group]})"
    wanted+=("${list[@]}")
done
missing=()
for p in $(printf '%s\n' "${wanted[@]}" | sort -u); do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
    echo "setup (${groups[*]}): every package is installed"
    exit 0
fi
echo "setup (${groups[*]}): installing ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
