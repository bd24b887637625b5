#!/usr/bin/env bash
# The main job on a demo device: builds the two programs, lays out a device full of
# clutter, and runs every cleaning action on it, showing the device before and after and
# the log. Needs only what building the programs needs (no test tools).
#   scripts/demo.sh [DEVICE-FOLDER]     (default: build/demo-device, made anew)
# The folder is emptied and made anew only when it is new, empty, or a demo device this
# script made (it leaves a marker file there); any other folder is refused, untouched.
set -euo pipefail
cd "$(dirname "$0")/.."
# Each step says what it does, in bold on a terminal.
if [ -t 1 ]; then bold=$'\033[1m' plain=$'\033[0m'; else bold= plain=; fi
step() { printf '\n%s== %s%s\n' "$bold" "$*" "$plain"; }

device="${1:-build/demo-device}"
marker="$device/.quillex-demo"
refuse() {
    echo "scripts/demo.sh: $device $*; nothing was changed" >&2
    echo "  give a new or empty folder, or one this script made before" >&2
    exit 1
}
# Checked before the build, so a mistaken folder is refused at once, and again just
# before it is emptied.
check_device_folder() {
    if [ -L "$device" ]; then
        refuse "is a symbolic link"
    elif [ -e "$device" ] && [ ! -d "$device" ]; then
        refuse "is not a folder"
    elif [ -d "$device" ] && ! { [ -f "$marker" ] && [ ! -L "$marker" ]; }; then
        local first
        first=$(find "$device" -mindepth 1 -maxdepth 1 -print -quit) || refuse "cannot be read"
        [ -z "$first" ] || refuse "holds files and is not a demo device this script made"
    fi
}
check_device_folder

step "Checking the Debian packages the build needs (scripts/deps.sh)"
scripts/deps.sh

step "Configuring a release build in build/release, without the tests"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLEX_TESTS=OFF | tail -1

step "Building quillex and quillex-device (about 60 files; a few minutes on two cores)"
cmake --build build/release --target quillex quillex-device
bin=build/release
tools=build/release/tools

step "Laying out a demo device in $device, full of clutter"
check_device_folder
rm -rf "$device"
"$tools/quillex-device" --device "$device" init --demo
echo "A demo device made by scripts/demo.sh, which empties this folder when run on it again." >"$marker"

tool="$tools/quillex-device --device $device"
step "The device before: $(du -sb "$device/fs" | cut -f1) bytes in $(find "$device/fs" -type f | wc -l) files; its notification queue:"
$tool notify list

step "What \"ntcha\" would do (a preview: its summary; nothing changes)"
"$bin/quillex" --device "$device" --preview ntcha | awk 'done { print } /^$/ { done = 1 }'

step "Cleaning all of it: quillex --device $device ntcha"
"$bin/quillex" --device "$device" ntcha

step "The device after: $(du -sb "$device/fs" | cut -f1) bytes in $(find "$device/fs" -type f | wc -l) files; its notification queue:"
$tool notify list
step "The log, \\Program Files\\Quillex\\Quillex.log:"
$tool log

step "Try the interactive program on this device yourself (README.md has more)"
echo "  export PATH=\"$PWD/$bin:$PWD/$tools:\$PATH\""
echo "  quillex --device $device"
