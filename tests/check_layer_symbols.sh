#!/usr/bin/env bash
# The device's folders, and the formats and host code above them, call one way only: no
# library of a folder uses a function or variable that a folder above it (or beside it)
# defines. Each argument is FOLDER=LIBRARY,
# listed from the bottom layer up; ALLOWED pairs (LOWER:HIGHER is never allowed unless
# HIGHER is in LOWER's list below) come from the layering in device/README.md.
#   check_layer_symbols.sh core=libdevice_core.a kernel=... notifications=... ...
set -euo pipefail
declare -A lib below
below[core]=""
below[kernel]="core"
below[notifications]="core kernel"
below[windowing]="core kernel"
below[shell]="core kernel windowing"
below[screens]="core kernel windowing shell"
below[boot]="core kernel notifications windowing shell screens"
below[formats]="core kernel notifications windowing shell screens boot"
below[host]="core kernel notifications windowing shell screens boot formats"
below[hostcommon]="core kernel notifications windowing shell screens boot formats"
for arg in "$@"; do lib[${arg%%=*}]=${arg#*=}; done

# Strong definitions only: inline functions and templates may be defined in several.
defined() { nm --defined-only --format=posix "$1" | awk '$2 ~ /^[TDBR]$/ {print $1}' | sort -u; }
used() { nm --undefined-only --format=posix "$1" | awk '{print $1}' | sort -u; }

failures=0
for folder in "${!below[@]}"; do
    for other in "${!below[@]}"; do
        [[ $other == "$folder" ]] && continue
        [[ " ${below[$folder]} " == *" $other "* ]] && continue
        crossing=$(comm -12 <(used "${lib[$folder]}") <(defined "${lib[$other]}"))
        if [[ -n $crossing ]]; then
            echo "$folder uses what $other defines:" $crossing
            failures=$((failures + 1))
        fi
    done
done
[[ $failures -eq 0 ]] && echo "every folder calls only the folders below it"
exit $((failures > 0))
