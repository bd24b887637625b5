#!/usr/bin/env bash
# Runs a command as an ordinary user, uid and gid 65534 with no supplementary groups:
# the permission and race cases once more as the user most faults of that kind show for.
# Through setpriv, else runuser. Where that cannot be (not root, neither tool installed,
# the command out of the user's reach) it says why on standard error and exits 77, which
# ctest counts as skipped; otherwise it exits as the command does.
#   tests/as_user.sh COMMAND [ARGS...]
#   tests/as_user.sh --check [PATH]     only says whether it can (exit 0 or 77), and
#                                       whether that user reaches PATH
set -uo pipefail
user_id=65534

skip() {
    echo "as_user: not run as uid $user_id: $*" >&2
    exit 77
}

[ "$(id -u)" -eq 0 ] || skip "this runs as uid $(id -u), not as root"
if command -v setpriv >/dev/null; then
    as_user=(setpriv --reuid=$user_id --regid=$user_id --clear-groups --)
elif command -v runuser >/dev/null && name=$(getent passwd $user_id | cut -d: -f1) && [ -n "$name" ]; then
    as_user=(runuser -u "$name" --)
else
    skip "neither setpriv nor runuser is installed"
fi
reaches() { "${as_user[@]}" test -x "$1" 2>/dev/null; }
if [ "${1:-}" = "--check" ]; then
    [ -z "${2:-}" ] || reaches "$2" || skip "$2 is out of the user's reach"
    exit 0
fi
[ $# -gt 0 ] || { echo "usage: tests/as_user.sh COMMAND [ARGS...]" >&2; exit 2; }
reaches "$1" || [ "${1#/}" = "$1" ] || skip "$1 is out of the user's reach"
exec "${as_user[@]}" "$@"
