#!/usr/bin/env bash
# Makes the Debian package of a build, as scripts/package.sh does of the release build, and
# holds it to lintian: no error and no warning (informational tags are shown, not failed).
# Skipped (77) where lintian is not installed.
#   package_check.sh BUILD-DIR
set -uo pipefail
build=$1
command -v lintian >/dev/null || { echo "lintian is not installed (scripts/deps.sh --test)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; exit 1; }
lintian --info --fail-on error,warning "$work"/*.deb
