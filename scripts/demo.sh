#!/usr/bin/env bash
# The main job on a demo device: builds Quillex, lays out a device full of clutter, and
# runs every cleaning action on it, showing the device before and after and the log.
#   scripts/demo.sh [DEVICE-FOLDER]     (default: build/demo-device, made anew)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release >/dev/null
bin=build/release
tools=build/release/tools

device="${1:-build/demo-device}"
rm -rf "$device"
"$tools/quillex-device" --device "$device" init --demo

tool="$tools/quillex-device --device $device"
echo "== the device before: $(du -sb "$device/fs" | cut -f1) bytes in $(find "$device/fs" -type f | wc -l) files"
echo "== its notification queue:"
$tool notify list
echo "== what \"ntcha\" would do (a preview: its summary; nothing changes):"
"$bin/quillex" --device "$device" --preview ntcha | awk 'done { print } /^$/ { done = 1 }'
echo "== the run:"
"$bin/quillex" --device "$device" ntcha
echo
echo "== the device after:  $(du -sb "$device/fs" | cut -f1) bytes in $(find "$device/fs" -type f | wc -l) files"
echo "== its notification queue:"
$tool notify list
echo "== the activity log (\\Program Files\\Quillex\\Quillex.log)"
$tool log
