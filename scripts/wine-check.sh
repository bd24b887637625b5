#!/usr/bin/env bash
# The differential check: Quillex built for desktop Win32 runs under Wine, and the same
# program on the emulated device, on generated devices; what each leaves behind (trees,
# registry values, log lines, the main dialog's figures) is compared. Prints
# "N of N scenarios agree" and each disagreement with the scenario's inputs.
#   scripts/wine-check.sh [--scenarios N] [--seed S] [--only NUMBER]...
# Installs what it needs when missing: the build's packages, mingw-w64 and Wine (about
# 1.5 GB and a few minutes on first use). The Wine prefix lives in build/wine/prefix and is
# set up once; each run's devices are left in build/wine/check for a look afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
# The build's and the tests' packages (the cross compilers among them) and Wine.
scripts/deps.sh --wine

# The emulated side is the test build's quillex; the desktop side the 64-bit runner (the
# Wine that Debian installs as wine64 runs 64-bit programs only).
cmake -S . -B build/debug -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLEX_WERROR=ON -DCMAKE_CXX_COMPILER=g++ >/dev/null
cmake --build build/debug -j 2 --target quillex quillex-device
scripts/win32-build.sh x86_64

# A prefix of our own, headless (the null graphics driver), without the browser and .NET
# engines that Wine would otherwise offer to download.
export WINEPREFIX="$PWD/build/wine/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/.quillex-ready" ]; then
    echo "Setting up the Wine prefix in $WINEPREFIX (once)"
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver --wait
    touch "$WINEPREFIX/.quillex-ready"
fi

status=0
python3 port/win32/check/wine_check.py --quillex build/debug/quillex --device-tool build/debug/tools/quillex-device \
    --runner build/win32-x86_64/quillex-check.exe --prefix "$WINEPREFIX" --work build/wine/check "$@" || status=$?
wineserver --wait
exit $status
