#!/usr/bin/env bash
# Runs the short form of every stress script (stress/*.sh --short), then the link-swap
# race and the signal campaign once more as an ordinary user (uid 65534, through
# tests/as_user.sh), since several faults show only for one; a couple of minutes in all.
# Fails when any of them fails. A campaign that cannot run here (disk_full.sh without
# root, the user's runs without setpriv or runuser) says why and is skipped (exit 77).
# Each prints its figures as its last line.
# Programs: $QUILLEX_BIN_DIR (a build folder, e.g. build/debug), else build/release.
set -uo pipefail
cd "$(dirname "$0")"
failed=() skipped=()

# Runs "$@" under the heading `$1`, and files it as passed, failed or skipped.
campaign() {
    local heading="$1"
    shift
    echo "== $heading"
    "$@"
    case $? in
    0) ;;
    77) skipped+=("$heading") ;;
    *) failed+=("$heading") ;;
    esac
}

for script in *.sh; do
    [ "$script" = run.sh ] && continue
    campaign "stress/$script --short" "./$script" --short
done
for script in link_swap_race.sh signals.sh; do
    campaign "stress/$script --short, as an ordinary user" ../tests/as_user.sh "$PWD/$script" --short
done

[ ${#skipped[@]} -gt 0 ] && echo "stress: skipped here: $(printf '%s; ' "${skipped[@]}")"
if [ ${#failed[@]} -gt 0 ]; then
    echo "stress: failed: $(printf '%s; ' "${failed[@]}")" >&2
    exit 1
fi
echo "stress: every short run is clean"
