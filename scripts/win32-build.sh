#!/usr/bin/env bash
# Builds the program for desktop Win32 with mingw-w64, warnings as errors: the program's
# folders compiled unchanged against the desktop's system headers, linked with the port
# (port/win32). Each target builds into build/win32-TARGET: quillex.exe and the
# differential check's runner, quillex-check.exe.
#   scripts/win32-build.sh [x86_64] [i686]     both when none is named
set -euo pipefail
cd "$(dirname "$0")/.."

targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(x86_64 i686)
for target in "${targets[@]}"; do
    case "$target" in
    x86_64 | i686) ;;
    *) echo "win32-build.sh: unknown target \"$target\" (x86_64 or i686)" >&2; exit 2 ;;
    esac
    if ! command -v "$target-w64-mingw32-g++" >/dev/null; then
        echo "win32-build.sh: $target-w64-mingw32-g++ is missing (scripts/deps.sh installs it)" >&2
        exit 1
    fi
    dir="build/win32-$target"
    cmake -S port/win32 -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_TOOLCHAIN_FILE="$PWD/port/win32/mingw-$target.cmake" >/dev/null
    cmake --build "$dir" -j 2
done
