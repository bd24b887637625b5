#!/usr/bin/env bash
# The differential check: Quillex built for desktop Win32 runs under Wine, and the same
# program on the emulated device, on generated devices; what each leaves behind (trees,
# registry values, log lines, the main dialog's figures) is compared. Prints
# "N of N scenarios agree" and each disagreement with the scenario's inputs.
#   scripts/wine-check.sh [--scenarios N] [--seed S]... [--only NUMBER]...
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

# Both sides run as an ordinary user, so that host permissions mean the same to each: Wine
# run by root writes a file that no one may write, where the device refuses. Run by root,
# this script hands the check to the user "nobody" (QUILLEX_CHECK_UID names another), who
# then owns build/wine; where that user cannot reach the build, the check is skipped.
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    uid="${QUILLEX_CHECK_UID:-65534}"
    name="$(getent passwd "$uid" | cut -d: -f1)"
    gid="$(getent passwd "$uid" | cut -d: -f4)"
    mkdir -p build/wine
    if [ -z "$gid" ] || ! command -v setpriv >/dev/null; then
        echo "wine-check.sh: skipped: no user $uid to run Wine as (or no setpriv)"
        exit 0
    fi
    if [ -n "$(find build/wine ! -user "$uid" -print -quit)" ]; then
        # A prefix made for another user is made again, for this one.
        rm -f build/wine/prefix/.quillex-ready
        chown -R "$uid:$gid" build/wine
    fi
    as_user=(setpriv --reuid="$uid" --regid="$gid" --clear-groups
             env HOME="$PWD/build/wine/home" USER="$name" LOGNAME="$name")
    if ! "${as_user[@]}" test -x build/debug/quillex -a -x build/debug/tools/quillex-device \
            -a -r build/win32-x86_64/quillex-check.exe -a -w build/wine; then
        echo "wine-check.sh: skipped: user $uid cannot reach the build in $PWD/build"
        exit 0
    fi
fi

# A prefix of our own, headless (the null graphics driver), without the browser and .NET
# engines that Wine would otherwise offer to download.
export WINEPREFIX="$PWD/build/wine/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/.quillex-ready" ]; then
    echo "Setting up the Wine prefix in $WINEPREFIX (once)"
    "${as_user[@]}" sh -ec 'rm -rf "$WINEPREFIX"; mkdir -p "$WINEPREFIX" "$HOME"
        wineboot --init >/dev/null 2>&1 || true
        wine reg add "HKCU\\Software\\Wine\\Drivers" /v Graphics /d null /f >/dev/null 2>&1 || true
        wineserver --wait
        touch "$WINEPREFIX/.quillex-ready"'
fi

status=0
"${as_user[@]}" python3 port/win32/check/wine_check.py --quillex build/debug/quillex \
    --device-tool build/debug/tools/quillex-device --runner build/win32-x86_64/quillex-check.exe \
    --prefix "$WINEPREFIX" --work build/wine/check "$@" || status=$?
"${as_user[@]}" wineserver --wait
exit $status
