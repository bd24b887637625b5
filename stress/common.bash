# Shared by the stress scripts (sourced, not run): where the built programs are, a scratch
# folder removed on exit, and the checks every script makes of a device.
#
# The programs are taken from $QUILLEX_BIN_DIR when set (a build folder such as
# build/debug), else from build/release: quillex at its top, quillex-device in tools/.

stress_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin_dir="${QUILLEX_BIN_DIR:-$stress_root/build/release}"
case "$bin_dir" in /*) ;; *) bin_dir="$stress_root/$bin_dir" ;; esac
quillex="$bin_dir/quillex"
device_tool="$bin_dir/tools/quillex-device"
for program in "$quillex" "$device_tool"; do
    if [ ! -x "$program" ]; then
        echo "$(basename "$0"): $program is missing: build first (cmake --build build/release)" \
             "or set QUILLEX_BIN_DIR to a build folder" >&2
        exit 2
    fi
done
command -v sqlite3 >/dev/null || { echo "$(basename "$0"): the sqlite3 program is needed (apt-get install sqlite3)" >&2; exit 2; }

scratch="$(mktemp -d "${TMPDIR:-/tmp}/quillex-stress-XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

# RETURNS success when the device's store passes SQLite's own integrity check.
store_intact() {
    [ "$(sqlite3 "$1/store.db" 'PRAGMA integrity_check' 2>&1)" = "ok" ]
}

# RETURNS success when every line of the device's log is whole: the 17-character prefix,
# the text, "\r\n", and nothing after the last line end.
log_whole() {
    local log="$1/fs/Program Files/Quillex/Quillex.log"
    [ -s "$log" ] || return 0
    [ "$(tail -c 1 "$log" | od -An -c | tr -d ' ')" = '\n' ] || return 1
    ! LC_ALL=C grep -a -q -v -E $'^[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} ->[^\r]*\r$' "$log"
}

# RETURNS success when the registry exports and the queue lists through the tool.
device_readable() {
    "$device_tool" --device "$1" reg export >/dev/null 2>&1 && "$device_tool" --device "$1" notify list >/dev/null 2>&1
}
