#!/usr/bin/env bash
# Installs the Debian packages Quillex needs, when any is missing. As root (or with sudo
# that asks no password) it installs them; otherwise it names them with the line to run
# as root, and fails.
#   scripts/deps.sh          what building the two programs and their package needs
#   scripts/deps.sh --test   that, and what the tests need
#   scripts/deps.sh --wine   that, the tests' needs, and Wine (scripts/wine-check.sh)
set -euo pipefail

# To build quillex and quillex-device (and, with dpkg-dev and file, their Debian package);
# unifont is the font the screen pictures are drawn in.
build=(cmake ninja-build g++ pkg-config libsqlite3-dev libcli11-dev nlohmann-json3-dev
       binutils-mingw-w64-x86-64 libncurses-dev libpng-dev dpkg-dev file
       unifont)
# To build and run the tests: GoogleTest, clang and its sanitizer runtime, tmux for the
# terminal screen's tests, groff to check that the manual pages render cleanly, sqlite3
# for the stress scripts' integrity checks, the mingw-w64 cross compilers for the desktop
# Win32 build of the program, python3 for its differential check's formats, lintian to
# check the Debian package, and the Unicode character database, to check that the
# committed case table is still its own.
test=(libgtest-dev libgmock-dev clang libclang-rt-14-dev tmux groff-base sqlite3
      g++-mingw-w64-x86-64 g++-mingw-w64-i686 python3 lintian unicode-data)

# To run the Win32 build beside the emulation (about 1.5 GB).
wine=(wine64 wine)

packages=("${build[@]}")
case "${1:-}" in
    --test) packages+=("${test[@]}") ;;
    --wine) packages+=("${test[@]}" "${wine[@]}") ;;
esac

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    echo "Installing missing Debian packages: ${missing[*]}"
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    echo "Installing missing Debian packages through sudo: ${missing[*]}"
    sudo apt-get update -qq && sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
else
    # A minimal Debian has no sudo: the line to run is given as root runs it.
    {
        echo "scripts/deps.sh: missing Debian packages: ${missing[*]}"
        echo "run as root: apt-get update && apt-get install ${missing[*]}"
    } >&2
    exit 1
fi
