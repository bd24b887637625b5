#!/usr/bin/env bash
# What scripts/deps.sh and scripts/demo.sh say and refuse, run as an ordinary user (as
# nobody when the test runs as root): deps.sh without root names what to run as root and
# installs nothing; demo.sh refuses, before building anything and untouched, a folder
# that holds files and is not a demo device it made.
#   scripts_check.sh SOURCE-DIR
set -uo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
as_user() {
    if [[ $(id -u) == 0 ]]; then
        setpriv --reuid=65534 --regid=65534 --clear-groups -- "$@"
    else
        "$@"
    fi
}

# deps.sh, with dpkg-query answering for every package and a sudo that asks a password.
mkdir "$work/bin"
printf '#!/bin/sh\necho "$DPKG_STATUS"\n' >"$work/bin/dpkg-query"
printf '#!/bin/sh\nexit 1\n' >"$work/bin/sudo"
chmod 755 "$work/bin"/*
DPKG_STATUS="unknown ok not-installed" PATH=$work/bin:$PATH as_user "$source_dir/scripts/deps.sh" \
    >"$work/out" 2>"$work/err"
status=$?
[[ $status == 1 ]] || fail "deps.sh with packages missing: exit $status"
grep -qx "run as root: apt-get update && apt-get install cmake ninja-build .* unifont" "$work/err" ||
    fail "deps.sh does not say what to run as root: $(cat "$work/err")"
grep -qi "installing" "$work/out" "$work/err" && fail "deps.sh says it installs: $(cat "$work/out" "$work/err")"
DPKG_STATUS="install ok installed" PATH=$work/bin:$PATH as_user "$source_dir/scripts/deps.sh" --test \
    >"$work/out" 2>&1 || fail "deps.sh with nothing missing: exit $?"
[[ -s $work/out ]] && fail "deps.sh with nothing missing says: $(cat "$work/out")"

# demo.sh refusals: the folder as it is set up | what the refusal says.
cases=(
    "files|holds files and is not a demo device this script made"
    "file|is not a folder"
    "link|is a symbolic link"
    "linked-marker|holds files and is not a demo device this script made"
)
for entry in "${cases[@]}"; do
    kind=${entry%%|*} expected=${entry#*|}
    folder=$work/demo-$kind
    case $kind in
        files) mkdir "$folder" && echo mine >"$folder/notes.txt" ;;
        file) echo mine >"$folder" ;;
        link) mkdir "$work/empty" && ln -s "$work/empty" "$folder" ;;
        linked-marker) mkdir "$folder" && ln -s "$work/bin/sudo" "$folder/.quillex-demo" ;;
    esac
    before=$(find "$folder" "$folder/" -printf '%p %y %s\n' 2>/dev/null | sort; cat "$folder" "$folder/notes.txt" 2>/dev/null)
    as_user "$source_dir/scripts/demo.sh" "$folder" >"$work/out" 2>"$work/err"
    status=$?
    [[ $status == 1 ]] || fail "demo.sh on a $kind folder: exit $status"
    grep -qF "scripts/demo.sh: $folder $expected; nothing was changed" "$work/err" ||
        fail "demo.sh on a $kind folder says: $(cat "$work/err")"
    [[ -s $work/out ]] && fail "demo.sh on a $kind folder went on: $(cat "$work/out")"
    after=$(find "$folder" "$folder/" -printf '%p %y %s\n' 2>/dev/null | sort; cat "$folder" "$folder/notes.txt" 2>/dev/null)
    [[ $before == "$after" ]] || fail "demo.sh changed the $kind folder"
done

echo "$((failures == 0 ? 1 : 0)) passed, $((failures == 0 ? 0 : 1)) failed"
exit $((failures != 0))
