#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing. As root (or with
# sudo) it installs them; otherwise it prints the apt-get line to run and fails.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
          libsqlite3-dev libgtest-dev libgmock-dev libcli11-dev nlohmann-json3-dev
          binutils-mingw-w64-x86-64 libncurses-dev tmux
          g++-mingw-w64-x86-64 g++-mingw-w64-i686 python3)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    sudo apt-get update -qq && sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
else
    echo "Please run: sudo apt-get install ${missing[*]}" >&2
    exit 1
fi
