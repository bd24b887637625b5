#!/usr/bin/env bash
# Makes the README's pictures of the device screen on the demo device: the main dialog as
# an 80 x 24 terminal shows it (the script screen's `terminal-picture 80x24 FILE.png`
# event), then the main dialog, its Tools menu and the Auto-start dialog, each written by
# the `picture FILE.png` event.
#   scripts/pictures.sh [BUILD-FOLDER]     (default: build/release, built when needed)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

build="${1:-build/release}"
if [ "$build" = build/release ]; then
    cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build build/release --target quillex quillex-device >/dev/null
fi

device="$(mktemp -d)"
trap 'rm -rf "$device"' EXIT
tool="$build/tools/quillex-device"
"$tool" --device "$device" init --demo >/dev/null
# The same clock and time format on every run, so the pictures change only with the screen.
"$tool" --device "$device" clock freeze "2026-12-07 18:30:00" >/dev/null
"$tool" --device "$device" locale --time-separator : --clock 24 >/dev/null

out=docs/pictures
mkdir -p "$out"
# The Auto-start dialog with Monday, Wednesday and Friday chosen, the temporary files
# ticked and the focus on Friday's cell.
"$build/quillex" --device "$device" --screen script >/dev/null <<SCRIPT
terminal-picture 80x24 $out/terminal-80x24.png
picture $out/main.png
softkey right
picture $out/tools.png
menu Automatic Start
tap 1300
tap 1302
tap 1304
tap 1004
key Tab
key Tab
key Tab
key Tab
key Tab
key Tab
key Tab
key Tab
key Tab
picture $out/autostart.png
ok
ok
SCRIPT
ls -l "$out"/*.png
