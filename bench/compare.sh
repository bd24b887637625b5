#!/usr/bin/env bash
# Times Quillex's folder sweep beside the bare-metal floors on identical trees, several
# paired runs each, and prints medians and ratios:
#   measure: sweep_bench measure (cleanupTemp(0) over \Temp) beside `du -sb`,
#            sweep_floor (readdir + openat + fstat + close per file) and sweep_floor
#            --guarded (only the calls the device's guarantees need) on the same tree;
#   clean:   `quillex t` beside `find -delete` and sweep_floor --guarded-clean, each on a
#            fresh hard-link copy of one template tree (so all only change metadata);
#   start:   `quillex x` (a command line that runs no action) beside store_floor
#            (open the store with SQLite, read one row).
# Also prints the peak memory of a measure and of a clean, and with --strace the system calls per file.
#   bench/compare.sh [--files N] [--runs R] [--strace] [--keep]
# The programs come from $QUILLEX_BIN_DIR, else build/release, configured with the tests
# (they bring the benchmarks): cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLEX_TESTS=ON
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${QUILLEX_BIN_DIR:-build/release}
files=100000 runs=7 trace=0 keep=0
while [ $# -gt 0 ]; do
    case $1 in
        --files) files=$2; shift ;;
        --runs) runs=$2; shift ;;
        --strace) trace=1 ;;
        --keep) keep=1 ;;
        *) echo "usage: bench/compare.sh [--files N] [--runs R] [--strace] [--keep]" >&2; exit 2 ;;
    esac
    shift
done
for program in quillex tools/quillex-device bench/sweep_bench bench/sweep_floor bench/store_floor; do
    [ -x "$bin/$program" ] || { echo "missing $bin/$program: build $bin first" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/quillex-compare.XXXXXX")
[ "$keep" = 1 ] || trap 'rm -rf "$work"' EXIT
device=$work/device temp=$work/device/fs/Temp template=$work/template twin=$work/twin
guardedTwin=$work/device/fs/Guarded

# The wall-clock and CPU (user + system) seconds of a command, its output discarded. On a
# machine shared with other work the CPU time is the steadier figure.
timed() {
    local start=$EPOCHREALTIME cpu
    cpu=$(/usr/bin/time -f '%U %S' "$@" 2>&1 >/dev/null | tail -1)
    awk -v a="$start" -v b="$EPOCHREALTIME" -v cpu="$cpu" 'BEGIN { split(cpu, c, " "); printf "%.4f %.2f\n", b - a, c[1] + c[2] }'
}
# The median of column $1 of the lines read.
median() { awk -v c="$1" '{ print $c }' | sort -g | awk '{ v[NR] = $1 } END { printf "%.3f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2fx", (b > 0 ? a / b : 0) }'; }
# One line of the table from two files of timings: wall medians and ratio, CPU medians and ratio.
row() {
    local qw qc bw bc
    qw=$(median 1 <"$2") qc=$(median 2 <"$2") bw=$(median 1 <"$4") bc=$(median 2 <"$4")
    printf '%-34s %-16s wall %7s / %7s s = %6s   cpu %6s / %6s s = %6s\n' "$1" "$3" "$qw" "$bw" "$(ratio "$qw" "$bw")" \
        "$qc" "$bc" "$(ratio "$qc" "$bc")"
}

"$bin/tools/quillex-device" --device "$device" init >/dev/null
rm -rf "$temp"
echo "building a tree of $files files (1,000 to a folder)..."
"$bin/bench/sweep_bench" tree "$temp" "$files"
"$bin/bench/sweep_bench" tree "$template" "$files"

echo "measure, $runs paired runs:"
floorSum=$("$bin/bench/sweep_floor" "$temp")
quillexSum=$("$bin/bench/sweep_bench" measure "$device")
[ "$quillexSum" = $((floorSum % 4294967296)) ] || echo "WARNING: sizes differ: $quillexSum vs $floorSum" >&2
du -sb "$temp" >/dev/null
: >"$work/m.q"; : >"$work/m.du"; : >"$work/m.floor"; : >"$work/m.guarded"
for _ in $(seq "$runs"); do
    timed "$bin/bench/sweep_bench" measure "$device" >>"$work/m.q"
    timed du -sb "$temp" >>"$work/m.du"
    timed "$bin/bench/sweep_floor" "$temp" >>"$work/m.floor"
    timed "$bin/bench/sweep_floor" --guarded "$device/fs" Temp >>"$work/m.guarded"
done
row "quillex measure ($files files)" "$work/m.q" "du -sb" "$work/m.du"
row "quillex measure ($files files)" "$work/m.q" "C floor" "$work/m.floor"
row "quillex measure ($files files)" "$work/m.q" "guarded C floor" "$work/m.guarded"
row "guarded C floor ($files files)" "$work/m.guarded" "C floor" "$work/m.floor"
peak=$(/usr/bin/time -f %M "$bin/bench/sweep_bench" measure "$device" 2>&1 >/dev/null | tail -1)
echo "peak memory of a measure: $peak KiB"

echo "clean, $runs paired runs on hard-link copies:"
: >"$work/c.q"; : >"$work/c.find"; : >"$work/c.guarded"
for _ in $(seq "$runs"); do
    rm -rf "$temp" "$twin" "$guardedTwin"
    cp -al "$template" "$temp"
    cp -al "$template" "$twin"
    cp -al "$template" "$guardedTwin"
    timed "$bin/quillex" --device "$device" t >>"$work/c.q"
    timed find "$twin" -mindepth 1 -delete >>"$work/c.find"
    timed "$bin/bench/sweep_floor" --guarded-clean "$device/fs" Guarded >>"$work/c.guarded"
    for tree in "$temp" "$guardedTwin"; do
        left=$(find "$tree" -mindepth 1 | wc -l)
        [ "$left" = 0 ] || echo "WARNING: $left entries left in $tree" >&2
    done
done
rm -rf "$guardedTwin" "$temp"
cp -al "$template" "$temp"
peak=$(/usr/bin/time -f %M "$bin/quillex" --device "$device" t 2>&1 >/dev/null | tail -1)
echo "peak memory of a clean: $peak KiB"
row "quillex t ($files files)" "$work/c.q" "find -delete" "$work/c.find"
row "quillex t ($files files)" "$work/c.q" "guarded C clean" "$work/c.guarded"
row "guarded C clean ($files files)" "$work/c.guarded" "find -delete" "$work/c.find"

echo "start, 21 paired runs:"
: >"$work/s.q"; : >"$work/s.floor"
for _ in $(seq 21); do
    timed "$bin/quillex" --device "$device" x >>"$work/s.q"
    timed "$bin/bench/store_floor" "$device/store.db" >>"$work/s.floor"
done
row "quillex x (no action)" "$work/s.q" "store_floor" "$work/s.floor"

if [ "$trace" = 1 ]; then
    command -v strace >/dev/null || { echo "strace is not installed" >&2; exit 1; }
    # System calls per file, start-up and listing included, from strace's summary.
    perFile() {
        strace -f -c -U calls,name -o "$work/trace" "$@" >/dev/null
        awk -v n="$files" '$1 ~ /^[0-9]+$/ && ($1 >= n / 10 || $2 == "total") { printf "  %-12s %6.2f\n", $2, $1 / n }' "$work/trace"
    }
    rm -rf "$temp"; cp -al "$template" "$temp"
    echo "system calls per file, quillex measure:"; perFile "$bin/bench/sweep_bench" measure "$device"
    echo "system calls per file, C floor:"; perFile "$bin/bench/sweep_floor" "$temp"
    echo "system calls per file, guarded C floor:"; perFile "$bin/bench/sweep_floor" --guarded "$device/fs" Temp
    echo "system calls per file, quillex t:"; perFile "$bin/quillex" --device "$device" t
    rm -rf "$twin"; cp -al "$template" "$twin"
    echo "system calls per file, find -delete:"; perFile find "$twin" -mindepth 1 -delete
    rm -rf "$guardedTwin"; cp -al "$template" "$guardedTwin"
    echo "system calls per file, guarded C clean:"; perFile "$bin/bench/sweep_floor" --guarded-clean "$device/fs" Guarded
    rm -rf "$guardedTwin"
fi
