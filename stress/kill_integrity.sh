#!/usr/bin/env bash
# Kills Quillex and quillex-device with SIGKILL at random moments and checks what is left:
# the store passes SQLite's integrity check, the registry and the queue still read,
# imports are all or nothing, every log line is whole, and running the same thing again
# completes it (a first use cut short ends with a fully installed device).
#
#   stress/kill_integrity.sh [--short] [--signals] [RUNS]   (default 600 runs; --short: 16)
# --signals sends SIGINT, SIGTERM or SIGHUP instead (one at random each run), as a terminal,
# a service manager or a closed session would (stress/signals.sh); the checks are the same.
# Programs: $QUILLEX_BIN_DIR (a build folder, e.g. build/debug), else build/release.
# Last line: "kill_integrity: R runs, K kills, F integrity failures" (with --signals:
# "signals: R runs, K signals (I INT, T TERM, H HUP), F integrity failures"); exit 0 only
# when F is 0.
set -uo pipefail
source "$(dirname "$0")/common.bash"

runs=600 signals=(KILL) name=kill_integrity
while [ $# -gt 0 ]; do
    case "$1" in
    --short) runs=16 ;;
    --signals) signals=(INT TERM HUP) name=signals ;;
    *) runs="$1" ;;
    esac
    shift
done
declare -A sent=([KILL]=0 [INT]=0 [TERM]=0 [HUP]=0)

device="$scratch/device"
"$device_tool" --device "$device" init --demo >/dev/null || exit 2
"$device_tool" --device "$device" clock freeze "2026-12-07 10:00:00" >/dev/null
# Every day at 10:30, temporary files: the automatic runs chain themselves.
printf 'REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Holvenark\\Quillex]\n"startDays"=dword:0000007f\n"startTime"=dword:0000041a\n"startOptions"=dword:00000002\n' \
    | "$device_tool" --device "$device" reg import - || exit 2

failures=0 kills=0
fail() {
    failures=$((failures + 1))
    echo "run $run ($operation): $*" >&2
}

# How long each operation took when last run to its end, in milliseconds: the kill comes
# at a random moment within that span, so that most runs are cut short somewhere.
declare -A span=([first_use]=150 [temp]=100 [auto]=150 [reg_import]=60 [notify_import]=60 [advance]=300)
now_ms() { echo $(($(date +%s%N) / 1000000)); }
# Runs "$@" to its end and records how long the current operation took.
timed() {
    local start
    start=$(now_ms)
    "$@"
    local status=$?
    local took=$(($(now_ms) - start))
    span[$operation]=$((took < 5 ? 5 : took > 999 ? 999 : took))
    return $status
}

# Starts "$@" in its own process group, signals the group at a random moment within the
# operation's span, and waits for it. Counts a kill when the signal ended the process.
# (A background command of a script ignores SIGINT, one under nohup SIGHUP: env gives
# every signal its default action back.)
run_and_kill() {
    local most=$((span[$operation] * 3 / 4 + 1))
    local signal=${signals[RANDOM % ${#signals[@]}]}
    setsid env --default-signal "$@" >/dev/null 2>&1 &
    local pid=$!
    sleep "$(printf '0.%03d' $((RANDOM % most)))"
    kill -"$signal" -- "-$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    if [ $? -eq $((128 + $(kill -l "$signal"))) ]; then
        kills=$((kills + 1))
        sent[$signal]=$((sent[$signal] + 1))
    fi
    # Whatever the group started may still be ending.
    while pgrep -g "$pid" >/dev/null 2>&1; do sleep 0.01; done
}

count_values() {
    "$device_tool" --device "$device" reg export "HKCU\\Kill\\r$1" 2>/dev/null | grep -c '^"v'
}

count_entries() {
    "$device_tool" --device "$device" notify list | grep -c "\"k$1-"
}

queue_file="$scratch/queue.json"
reg_file="$scratch/values.reg"
operations=(first_use temp auto reg_import notify_import advance)
for ((run = 1; run <= runs; run++)); do
    operation="${operations[RANDOM % ${#operations[@]}]}"
    case "$operation" in
    first_use)
        fresh="$scratch/fresh"
        rm -rf "$fresh"
        run_and_kill "$quillex" --device "$fresh" t
        timed "$quillex" --device "$fresh" t || fail "the run after the kill failed"
        for path in Windows Temp "Program Files/Quillex/Quillex.exe" Windows/calnot.exe; do
            [ -e "$fresh/fs/$path" ] || fail "\\$path is missing after the rerun"
        done
        "$device_tool" --device "$fresh" reg export 'HKLM\Software\Apps\Holvenark Quillex' 2>/dev/null \
            | grep -q '"InstallDir"' || fail "the install key is missing after the rerun"
        [ "$(sqlite3 "$fresh/store.db" 'SELECT count(*) FROM programs')" -ge 1 ] \
            || fail "Quillex.exe has no host program after the rerun"
        store_intact "$fresh" || fail "the fresh store fails its integrity check"
        log_whole "$fresh" || fail "the fresh device's log has a broken line"
        ;;
    temp)
        for i in 1 2 3 4 5; do head -c $((RANDOM * 4)) /dev/zero > "$device/fs/Temp/f$run-$i.tmp"; done
        run_and_kill "$quillex" --device "$device" t
        timed "$quillex" --device "$device" t || fail "the run after the kill failed"
        [ -z "$(ls -A "$device/fs/Temp")" ] || fail "\\Temp is not empty after the rerun"
        ;;
    auto)
        run_and_kill "$quillex" --device "$device" -auto
        timed "$quillex" --device "$device" -auto || fail "the run after the kill failed"
        pending="$("$device_tool" --device "$device" notify list | grep -c 'Quillex.exe"  "-auto"')"
        [ "$pending" -eq 1 ] || fail "$pending automatic runs are registered after the rerun, not 1"
        ;;
    reg_import)
        { echo REGEDIT4; echo "[HKEY_CURRENT_USER\\Kill\\r$run]"
          for i in $(seq 1 40); do echo "\"v$i\"=dword:$i"; done; } > "$reg_file"
        run_and_kill "$device_tool" --device "$device" reg import "$reg_file"
        got="$(count_values "$run")"
        [ "$got" -eq 0 ] || [ "$got" -eq 40 ] || fail "a killed import left $got of its 40 values"
        timed "$device_tool" --device "$device" reg import "$reg_file" || fail "the import after the kill failed"
        [ "$(count_values "$run")" -eq 40 ] || fail "the import after the kill did not set its 40 values"
        "$device_tool" --device "$device" reg import - <<<"$(printf 'REGEDIT4\n[-HKEY_CURRENT_USER\\Kill\\r%s]\n' "$run")"
        ;;
    notify_import)
        { echo "["; for i in $(seq 1 30); do
              echo "{\"type\": 1, \"event\": 5, \"application\": \"\\\\soak.exe\", \"arguments\": \"k$run-$i\"}$([ "$i" -lt 30 ] && echo ,)"
          done; echo "]"; } > "$queue_file"
        run_and_kill "$device_tool" --device "$device" notify import "$queue_file"
        got="$(count_entries "$run")"
        [ "$got" -eq 0 ] || [ "$got" -eq 30 ] || fail "a killed import left $got of its 30 entries"
        timed "$device_tool" --device "$device" notify import "$queue_file" >/dev/null || fail "the import after the kill failed"
        [ "$(count_entries "$run")" -ge 30 ] || fail "the import after the kill did not add its 30 entries"
        sqlite3 "$device/store.db" "DELETE FROM notifications WHERE type = 1 AND event = 5"
        ;;
    advance)
        # A day passes: the automatic run due fires, starts quillex, which registers the next.
        run_and_kill "$device_tool" --device "$device" clock advance 1d
        start=$(now_ms)
        "$device_tool" --device "$device" clock fire-due >/dev/null || fail "firing what is due after the kill failed"
        "$quillex" --device "$device" -auto || fail "the automatic run after the kill failed"
        pending="$("$device_tool" --device "$device" notify list | grep -c 'Quillex.exe"  "-auto"')"
        [ "$pending" -eq 1 ] || fail "$pending automatic runs are registered after the rerun, not 1"
        # An advance fires an automatic run: its span is that of firing and the run.
        took=$(($(now_ms) - start))
        span[advance]=$((took < 5 ? 5 : took > 999 ? 999 : took))
        ;;
    esac
    store_intact "$device" || fail "the store fails its integrity check"
    device_readable "$device" || fail "the registry or the queue no longer reads"
    log_whole "$device" || fail "the log has a broken line"
done

if [ "$name" = signals ]; then
    echo "signals: $runs runs, $kills signals (${sent[INT]} INT, ${sent[TERM]} TERM, ${sent[HUP]} HUP)," \
         "$failures integrity failures"
else
    echo "kill_integrity: $runs runs, $kills kills, $failures integrity failures"
fi
[ "$failures" -eq 0 ]
