#!/usr/bin/env bash
# Runs the short form of every stress script (stress/*.sh --short, under a minute in all)
# and fails when any of them fails. Each prints its figures as its last line.
# Programs: $QUILLEX_BIN_DIR (a build folder, e.g. build/debug), else build/release.
set -uo pipefail
cd "$(dirname "$0")"
failed=()
for script in *.sh; do
    [ "$script" = run.sh ] && continue
    echo "== stress/$script --short"
    if ! "./$script" --short; then
        failed+=("$script")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "stress: failed: ${failed[*]}" >&2
    exit 1
fi
echo "stress: every short run is clean"
