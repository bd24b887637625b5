#!/usr/bin/env bash
# Several programs on one device at once, for a while: two writers of notification
# entries, two registry writers (each import sets a pair of values that must always be
# equal, and one value of its own that must stay), a reader watching the pair, Quillex
# cleaning temporary files and doing automatic runs, and the clock moving on and firing
# what is due. Afterwards every entry and value written must be there, no reader may have
# seen the pair torn, the store must pass its integrity check and the log be whole.
#
#   stress/soak.sh [--short] [SECONDS]   (default 300 seconds; --short: 10)
# Programs: $QUILLEX_BIN_DIR (a build folder, e.g. build/debug), else build/release.
# Last line: "soak: W workers, N operations, L lost entries, T torn values, F failed
# operations"; exit 0 only when L, T and F are 0 and the store and the log are sound.
set -uo pipefail
source "$(dirname "$0")/common.bash"

seconds=300
[ "${1:-}" = "--short" ] && { seconds=10; shift; }
[ -n "${1:-}" ] && seconds="$1"

device="$scratch/device"
tool() { "$device_tool" --device "$device" "$@"; }
tool init >/dev/null || exit 2
tool clock freeze "2026-12-07 10:00:00" >/dev/null
printf 'REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Holvenark\\Quillex]\n"startDays"=dword:0000007f\n"startTime"=dword:0000041a\n"startOptions"=dword:00000002\n' \
    | tool reg import - || exit 2
deadline=$((SECONDS + seconds))
mkdir -p "$scratch/w"

# Each worker appends one line per operation to its own file: "ok ..." or "failed ...".
entry_writer() {
    local name="$1" i=0 handle
    while [ $SECONDS -lt $deadline ]; do
        i=$((i + 1))
        if handle="$(tool notify add "{\"type\": 1, \"event\": 7, \"application\": \"\\\\soak\\\\$name.exe\", \"arguments\": \"$name-$i\"}")"; then
            echo "ok $handle $name-$i"
        else
            echo "failed notify add $name-$i"
        fi
    done > "$scratch/w/$name"
}

registry_writer() {
    local name="$1" i=0
    while [ $SECONDS -lt $deadline ]; do
        i=$((i + 1))
        if printf 'REGEDIT4\n[HKEY_CURRENT_USER\\Soak\\Pair]\n"a"=dword:%x\n"b"=dword:%x\n[HKEY_CURRENT_USER\\Soak\\Keep\\%s]\n"v%d"=dword:%x\n' \
               "$i" "$i" "$name" "$i" "$i" | tool reg import -; then
            echo "ok $i"
        else
            echo "failed reg import $i"
        fi
    done > "$scratch/w/$name"
}

pair_reader() {
    local export a b
    while [ $SECONDS -lt $deadline ]; do
        if export="$(tool reg export 'HKCU\Soak\Pair' 2>/dev/null)"; then
            a="$(sed -n 's/^"a"=//p' <<<"$export")"
            b="$(sed -n 's/^"b"=//p' <<<"$export")"
            if [ "$a" = "$b" ]; then echo "ok"; else echo "torn $a $b"; fi
        elif tool reg export 'HKCU\Soak' >/dev/null 2>&1; then
            echo "ok"  # the pair's key is not written yet
        else
            echo "failed reg export"
        fi
    done > "$scratch/w/reader"
}

program_runs() {
    local i=0
    while [ $SECONDS -lt $deadline ]; do
        i=$((i + 1))
        head -c 3000 /dev/zero > "$device/fs/Temp/soak-$i.tmp"
        if "$quillex" --device "$device" t && "$quillex" --device "$device" -auto; then
            echo "ok"
        else
            echo "failed quillex $i"
        fi
    done > "$scratch/w/quillex"
}

clock_runs() {
    while [ $SECONDS -lt $deadline ]; do
        if tool clock advance 6h >/dev/null; then echo "ok"; else echo "failed clock advance"; fi
    done > "$scratch/w/clock"
}

entry_writer e1 & entry_writer e2 &
registry_writer r1 & registry_writer r2 &
pair_reader & program_runs & clock_runs &
wait

workers=7
operations=$(cat "$scratch"/w/* | wc -l)
failed=$(cat "$scratch"/w/* | grep -c '^failed')
torn=$(grep -c '^torn' "$scratch/w/reader")
grep -h '^failed\|^torn' "$scratch"/w/* | head -5 >&2

# Every entry added must be in the queue with its arguments, under its handle.
listed="$(tool notify list)"
lost=0
while read -r _ handle arguments; do
    grep -q "^$handle  event 7  .*\"$arguments\"$" <<<"$listed" || { lost=$((lost + 1)); echo "lost entry $handle $arguments" >&2; }
done < <(grep -h '^ok' "$scratch/w/e1" "$scratch/w/e2")
# Every value of its own a registry writer set must be there.
for name in r1 r2; do
    values="$(tool reg export "HKCU\\Soak\\Keep\\$name" 2>/dev/null)"
    while read -r _ i; do
        grep -q "^\"v$i\"=dword:$(printf '%08x' "$i")$" <<<"$values" || { lost=$((lost + 1)); echo "lost value $name v$i" >&2; }
    done < <(grep -h '^ok' "$scratch/w/$name")
done
final="$(tool reg export 'HKCU\Soak\Pair')"
[ "$(sed -n 's/^"a"=//p' <<<"$final")" = "$(sed -n 's/^"b"=//p' <<<"$final")" ] || torn=$((torn + 1))

sound=1
store_intact "$device" || { sound=0; echo "the store fails its integrity check" >&2; }
log_whole "$device" || { sound=0; echo "the log has a broken line" >&2; }

echo "soak: $workers workers, $operations operations, $lost lost entries, $torn torn values, $failed failed operations"
[ "$lost" -eq 0 ] && [ "$torn" -eq 0 ] && [ "$failed" -eq 0 ] && [ "$sound" -eq 1 ]
