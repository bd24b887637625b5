#!/usr/bin/env bash
# Runs the README's runnable examples, so that the README cannot drift from the programs.
#
# A block opened with "```sh runnable" is runnable. The runnable blocks run in the order
# they appear, as one bash script (set -euo pipefail) in a fresh empty folder, with the
# built programs first on PATH, HOME, XDG_DATA_HOME and TMPDIR inside that folder, the C
# locale (C.UTF-8) and UTC, standard input empty, and no device: the examples make their
# own. Every command must succeed. Lines "#> TEXT" right after a command give its standard
# output line for line (a bare "#>" is an empty line); trailing blanks and carriage
# returns are not compared. A command without such lines is only required to succeed.
#   readme_examples.sh README.md BIN-DIR...
set -uo pipefail
readme=$1
shift
path=
for dir in "$@"; do path+="${path:+:}$(cd "$dir" && pwd)"; done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/run" "$work/home" "$work/data" "$work/tmp" "$work/out"

# Split the runnable blocks into steps: one complete command each (as far as bash can
# tell: it parses, and does not end in a continuation), with its README line and the
# output it claims. bash parses without running anything (-n).
steps=0 pending= pending_line=0 in_block=0 number=0
declare -a step_text step_line step_expect step_checked
close_step() {
    [[ -z $pending ]] && return
    steps=$((steps + 1))
    step_text[steps]=$pending step_line[steps]=$pending_line step_expect[steps]= step_checked[steps]=0
    pending=
}
while IFS= read -r line || [[ -n $line ]]; do
    number=$((number + 1))
    if ((!in_block)); then
        [[ $line =~ ^\`\`\`sh\ +runnable\ *$ ]] && in_block=1
        continue
    fi
    if [[ $line =~ ^\`\`\`\ *$ ]]; then
        [[ -n $pending ]] && { echo "$readme:$pending_line: a command is not complete at the end of its block"; exit 1; }
        in_block=0
        continue
    fi
    if [[ $line == '#>' || $line == '#> '* ]]; then
        if [[ -n $pending ]] || ((steps == 0)); then
            echo "$readme:$number: \"#>\" output follows no complete command"
            exit 1
        fi
        step_expect[steps]+="${line:3}"$'\n'
        step_checked[steps]=1
        continue
    fi
    # Blank lines and comments between commands make no step.
    if [[ -z $pending && ( $line =~ ^[[:space:]]*$ || $line =~ ^[[:space:]]*# ) ]]; then
        continue
    fi
    [[ -z $pending ]] && pending_line=$number
    pending+="$line"$'\n'
    # bash only warns of an open here-document, so any word from it means "not yet".
    if [[ ! $line =~ \\$ ]] && parsed=$(bash -n <<<"$pending" 2>&1) && [[ -z $parsed ]]; then
        close_step
    fi
done <"$readme"
((steps > 0)) || { echo "$readme: no runnable examples"; exit 1; }

# One script: each step's output to a file of its own, in the one shell, so that what a
# step sets (a variable, the folder) holds for the steps after it.
script=$work/examples.sh
{
    echo 'set -euo pipefail'
    # The step reached is recorded on any exit, so that a failing command can be named.
    echo "trap 'echo \"\$step\" >\"$work/out/last\"' EXIT"
    for ((i = 1; i <= steps; i++)); do
        printf 'step=%d\n{\n%s} >"%s/%d.out" 2>"%s/%d.err"\n' "$i" "${step_text[i]}" "$work/out" "$i" "$work/out" "$i"
    done
    echo 'step=done'
} >"$script"

(cd "$work/run" && env -i PATH="$path:/usr/bin:/bin" HOME="$work/home" XDG_DATA_HOME="$work/data" \
    TMPDIR="$work/tmp" LC_ALL=C.UTF-8 TZ=UTC TERM=dumb ${ASAN_OPTIONS:+ASAN_OPTIONS=$ASAN_OPTIONS} \
    ${UBSAN_OPTIONS:+UBSAN_OPTIONS=$UBSAN_OPTIONS} bash "$script" </dev/null)
status=$?
last=$(cat "$work/out/last" 2>/dev/null || echo 1)

failures=0 checked=0
if [[ $last != done ]]; then
    echo "$readme:${step_line[last]}: this command failed (exit status $status):"
    printf '%s' "${step_text[last]}" | sed 's/^/    /'
    echo "  its output:"; sed 's/^/    /' "$work/out/$last.out" "$work/out/$last.err" 2>/dev/null
    failures=1
    steps=$((last - 1))
fi
normalize() { sed -e 's/\r$//' -e 's/[[:space:]]*$//'; }
for ((i = 1; i <= steps; i++)); do
    ((step_checked[i])) || continue
    checked=$((checked + 1))
    if ! diff -u --label "$(basename "$readme"):${step_line[i]} (claimed)" --label "actual" \
            <(printf '%s' "${step_expect[i]}" | normalize) <(normalize <"$work/out/$i.out") >"$work/diff"; then
        echo "$readme:${step_line[i]}: the output is not what the README shows:"
        printf '%s' "${step_text[i]}" | sed 's/^/    /'
        cat "$work/diff"
        failures=$((failures + 1))
    fi
done
echo "$steps commands run, $checked outputs compared"
echo "$((failures == 0 ? 1 : 0)) passed, $((failures == 0 ? 0 : 1)) failed"
exit $((failures != 0))
