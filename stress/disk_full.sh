#!/usr/bin/env bash
# A full disk: a device on a small file system of its own (tmpfs), filled until only a few
# bytes are left, while one operation runs: a first use (the install), a registry import,
# a queue import, each action of quillex with its log lines (n, t, c, h, a, -auto), or the
# opening of the device by a reading command (notify list, reg export, log, a preview),
# with the store's side files present or gone, and for an action, every other run, the log
# brought within a line of a page's end (so that its next line needs a new block). Each
# must succeed, or fail saying the disk is full ("the disk is full", or the report's reason
# "disk full"): never "disk I/O error", never a crash. Then, with room again, the store passes
# its integrity check, the registry and the queue read, every log line is whole, an import
# is all or nothing, and the same operation run again succeeds.
#
#   stress/disk_full.sh [--short] [RUNS]   (default 300 runs; --short: each operation at
#                                          two levels, 26 runs)
# The file system is mounted in a mount namespace of the script's own, which needs root:
# otherwise it says so and exits 77 (skipped).
# Programs: $QUILLEX_BIN_DIR (a build folder, e.g. build/debug), else build/release.
# Last line: "disk_full: R runs at L free-space levels, F failures"; exit 0 only when F is 0.
set -uo pipefail

if [ -z "${QUILLEX_DISK_NAMESPACE:-}" ]; then
    if [ "$(id -u)" -ne 0 ] || ! command -v unshare >/dev/null; then
        echo "disk_full: skipped: mounting a small disk needs root and unshare" >&2
        exit 77
    fi
    QUILLEX_DISK_NAMESPACE=1 exec unshare --mount --propagation private -- "$0" "$@"
fi
source "$(dirname "$0")/common.bash"

runs=300 short=0
[ "${1:-}" = "--short" ] && { short=1 runs=26; shift; }
[ -n "${1:-}" ] && runs="$1"

disk="$scratch/disk"
mkdir -p "$disk"
trap 'umount "$disk" 2>/dev/null; rm -rf "$scratch"' EXIT
mount -t tmpfs -o size=4m,mode=0755 tmpfs "$disk" || { echo "disk_full: cannot mount a tmpfs" >&2; exit 2; }

# A demo device, its side files gone as after the last process closed it: the template
# every run starts from, kept off the small disk.
template="$scratch/template"
"$device_tool" --device "$template" init --demo >/dev/null || exit 2
sqlite3 "$template/store.db" 'PRAGMA wal_checkpoint(TRUNCATE)' >/dev/null
reg_file="$scratch/values.reg" queue_file="$scratch/queue.json"
{ echo REGEDIT4; echo "[HKEY_CURRENT_USER\\Full]"; for i in $(seq 1 40); do echo "\"v$i\"=\"$(printf 'x%.0s' $(seq 200))\""; done; } > "$reg_file"
{ echo "["; for i in $(seq 1 30); do
      echo "{\"type\": 1, \"event\": 5, \"application\": \"\\\\full.exe\", \"arguments\": \"f-$i-$(printf 'y%.0s' $(seq 200))\"}$([ "$i" -lt 30 ] && echo ,)"
  done; echo "]"; } > "$queue_file"

device="$disk/device"
operations=(install reg_import notify_import n t c h a auto notify_list reg_export log preview)
levels=(0 1 512 4096 8192 16384 24576 32768 40960 65536 131072)
failures=0
declare -A used_levels=()

fail() {
    failures=$((failures + 1))
    echo "run $run ($operation, $free bytes free, side files $sides$page_end): $*" >&2
}

fill_leaving() {
    rm -f "$disk/filler"
    local available
    available=$(($(stat -f -c '%a * %S' "$disk")))
    [ "$available" -gt "$1" ] && head -c $((available - $1)) /dev/zero > "$disk/filler" 2>/dev/null
    return 0
}

# Runs the operation once; its output goes to $output, its status is returned.
operate() {
    case "$operation" in
    install) "$quillex" --device "$disk/new" t ;;
    reg_import) "$device_tool" --device "$device" reg import "$reg_file" ;;
    notify_import) "$device_tool" --device "$device" notify import "$queue_file" ;;
    n | t | c | h | a) "$quillex" --device "$device" "$operation" ;;
    auto) "$quillex" --device "$device" -auto ;;
    notify_list) "$device_tool" --device "$device" notify list ;;
    reg_export) "$device_tool" --device "$device" reg export ;;
    log) "$device_tool" --device "$device" log ;;
    preview) "$quillex" --device "$device" --preview nthca ;;
    esac > "$scratch/output" 2>&1
}

# Pads the device's log with whole lines until it ends 5 to 14 bytes before a page (4 KB)
# ends, so that the next line the program writes needs a new block.
pad_log_to_page_end() {
    local log="$device/fs/Program Files/Quillex/Quillex.log" size target left line
    size=$(stat -c %s "$log" 2>/dev/null || echo 0)
    target=$(((size / 4096 + 1) * 4096 - 5 - RANDOM % 10))
    [ $((target - size)) -lt 20 ] && target=$((target + 4096))
    # A line is 17 bytes of time stamp and arrow, its text and "\r\n".
    for ((left = target - size; left > 0; left -= line)); do
        line=$((left >= 120 ? 100 : left))
        printf '07/12 10:00:00 ->%s\r\n' "$(head -c $((line - 19)) /dev/zero | tr '\0' p)" >> "$log"
    done
}

count_values() { "$device_tool" --device "$device" reg export 'HKCU\Full' 2>/dev/null | grep -c '^"v'; }
count_entries() { "$device_tool" --device "$device" notify list | grep -c '"f-'; }

for ((run = 1; run <= runs; run++)); do
    if [ "$short" = 1 ]; then
        operation=${operations[(run - 1) % ${#operations[@]}]}
        free=$([ "$run" -le ${#operations[@]} ] && echo 0 || echo 16384)
        sides=$([ $((run % 2)) = 0 ] && echo present || echo gone)
    else
        operation=${operations[RANDOM % ${#operations[@]}]}
        free=${levels[RANDOM % ${#levels[@]}]}
        sides=$([ $((RANDOM % 2)) = 0 ] && echo present || echo gone)
    fi
    used_levels[$free]=1
    rm -rf "$device" "$disk/new" "$disk/filler"
    cp -a "$template" "$device"
    # A process that never closes the store leaves its side files behind.
    [ "$sides" = present ] && "$device_tool" --device "$device" clock show >/dev/null
    page_end=""
    if [ $((run % 4)) -lt 2 ]; then
        case "$operation" in n | t | c | h | a | auto) pad_log_to_page_end && page_end=", log at a page's end" ;; esac
    fi
    fill_leaving "$free"

    operate
    status=$?
    if grep -q -i 'disk I/O error\|malformed\|unable to open' "$scratch/output"; then
        fail "said: $(grep -i -m1 'disk I/O error\|malformed\|unable to open' "$scratch/output")"
    fi
    if [ "$status" -ne 0 ] && ! { [ "$status" -eq 1 ] && grep -q 'the disk is full\|disk full' "$scratch/output"; }; then
        fail "exit $status without saying the disk is full: $(tail -n 1 "$scratch/output")"
    fi
    case "$operation" in
    reg_import) got=$(count_values) ;;
    notify_import) got=$(count_entries) ;;
    esac

    rm -f "$disk/filler"
    case "$operation" in
    reg_import) [ "$got" -eq 0 ] || [ "$got" -eq 40 ] || fail "the import left $got of its 40 values" ;;
    notify_import) [ "$got" -eq 0 ] || [ "$got" -eq 30 ] || fail "the import left $got of its 30 entries" ;;
    esac
    # A first use cut short leaves no device a reading command opens (it says so): the new
    # device is checked once its first use has been run again.
    store_intact "$device" || fail "the store fails its integrity check"
    device_readable "$device" || fail "the registry or the queue no longer reads"
    log_whole "$device" || fail "the log has a broken line"
    operate || fail "the operation run again with room failed: $(tail -n 1 "$scratch/output")"
    if [ "$operation" = install ]; then
        for path in Windows Temp "Program Files/Quillex/Quillex.exe" Windows/calnot.exe; do
            [ -e "$disk/new/fs/$path" ] || fail "\\$path is missing after the first use run again"
        done
        store_intact "$disk/new" || fail "the new device's store fails its integrity check"
        device_readable "$disk/new" || fail "the new device's registry or queue does not read"
        log_whole "$disk/new" || fail "the new device's log has a broken line"
    fi
done

echo "disk_full: $runs runs at ${#used_levels[@]} free-space levels, $failures failures"
[ "$failures" -eq 0 ]
