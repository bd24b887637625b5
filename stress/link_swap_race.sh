#!/usr/bin/env bash
# Link-swap race: while `quillex t` cleans \Temp (or, every other run, the main dialog
# measures it), another process keeps moving folders of the tree out of the device and
# putting in their place a symbolic link to a canary folder outside the device. Nothing
# may ever reach the canary: after every run its files must have the same count, contents
# and modification times.
#   stress/link_swap_race.sh [--short] [--runs N]
# --short (for CI) is 6 runs over 600 files; the long form is 400 runs over 3,000.
# Programs: quillex and tools/quillex-device from $QUILLEX_BIN_DIR, else build/release.
# Prints "link_swap_race: N runs, M swaps, C canary changes"; exits 0 only when C is 0.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${QUILLEX_BIN_DIR:-build/release}
runs=400 folders=30 perFolder=100
while [ $# -gt 0 ]; do
    case $1 in
        --short) runs=6 folders=12 perFolder=50 ;;
        --runs) runs=$2; shift ;;
        *) echo "usage: stress/link_swap_race.sh [--short] [--runs N]" >&2; exit 2 ;;
    esac
    shift
done
for program in quillex tools/quillex-device; do
    [ -x "$bin/$program" ] || { echo "link_swap_race: missing $bin/$program" >&2; exit 2; }
done
quillex=$(cd "$bin" && pwd)/quillex
work=$(mktemp -d "${TMPDIR:-/tmp}/quillex-race.XXXXXX")
trap 'rm -rf "$work"' EXIT
device=$work/device canary=$work/canary parked=$work/parked template=$work/template

"$bin/tools/quillex-device" --device "$device" init >/dev/null

# The canary: files at its top (what a followed link to a folder would expose) and in
# sub-folders (what a sweep one level further down would reach).
mkdir -p "$canary/sub" "$canary/other"
for i in $(seq 20); do
    printf 'canary %s\n' "$i" >"$canary/c$i.txt"
    printf 'nested %s\n' "$i" >"$canary/sub/n$i.tmp"
done
touch -d '2001-02-03 04:05:06' "$canary"/c*.txt "$canary"/sub/*
snapshot() { (cd "$canary" && find . -printf '%p %y %s %T@\n' | sort && find . -type f -exec md5sum {} + | sort); }
before=$(snapshot)

# One template tree; each run starts from a fresh copy of it.
mkdir -p "$template"
for f in $(seq "$folders"); do
    mkdir "$template/d$f"
    (cd "$template/d$f" && seq -f "file%g.tmp" "$perFolder" | xargs touch)
    for k in $(seq 5); do printf 'x%.0s' $(seq "$k") >"$template/d$f/file$k.tmp"; done
done

swaps=0 changes=0
for run in $(seq "$runs"); do
    temp=$device/fs/Temp
    rm -rf "$temp" "$parked"
    mkdir -p "$parked"
    cp -a "$template" "$temp"
    if [ $((run % 2)) = 1 ]; then
        "$quillex" --device "$device" --quiet t &
    else
        "$quillex" --device "$device" --screen script </dev/null >/dev/null &
    fi
    sweep=$!
    # Swap folders, sometimes \Temp itself, for links to the canary until the sweep ends.
    n=0
    while kill -0 "$sweep" 2>/dev/null; do
        n=$((n + 1))
        if [ $((n % 7)) = 0 ] && [ -d "$temp" ] && [ ! -L "$temp" ]; then
            mv "$temp" "$parked/Temp$n" 2>/dev/null && ln -s "$canary" "$temp" && swaps=$((swaps + 1)) || true
        else
            f=$device/fs/Temp/d$(((RANDOM % folders) + 1))
            if [ -d "$f" ] && [ ! -L "$f" ]; then
                mv "$f" "$parked/d$n" 2>/dev/null && ln -s "$canary" "$f" && swaps=$((swaps + 1)) || true
            fi
        fi
    done
    wait "$sweep" || echo "link_swap_race: run $run: quillex exited with $?" >&2
    rm -rf "$temp"
    after=$(snapshot)
    if [ "$after" != "$before" ]; then
        changes=$((changes + 1))
        echo "link_swap_race: run $run changed the canary:" >&2
        diff <(echo "$before") <(echo "$after") >&2 || true
        # Put the canary back so later runs are judged on their own.
        rm -rf "$canary" && mkdir -p "$canary/sub" "$canary/other"
        for i in $(seq 20); do
            printf 'canary %s\n' "$i" >"$canary/c$i.txt"
            printf 'nested %s\n' "$i" >"$canary/sub/n$i.tmp"
        done
        touch -d '2001-02-03 04:05:06' "$canary"/c*.txt "$canary"/sub/*
        before=$(snapshot)
    fi
done
echo "link_swap_race: $runs runs, $swaps swaps, $changes canary changes"
[ "$changes" = 0 ]
