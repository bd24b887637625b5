#!/usr/bin/env bash
# Installs a build into a scratch prefix and checks what a user gets from it: the files in
# place, the README's pictures beside it and a changelog of this version; manual pages that
# render without a warning and describe every option and command the programs' own help
# lists; both versions; bash completion of commands, options, device folders, device paths
# and notification handles; and the installed pair running a device together.
#   install_check.sh BUILD-DIR VERSION
set -uo pipefail
build=$1 version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_equal() {  # what, expected, actual
    [[ $2 == "$3" ]] || fail "$1: expected [$2], got [$3]"
}

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
doc=$prefix/share/doc/quillex
for file in bin/quillex bin/quillex-device share/man/man1/quillex.1.gz share/man/man1/quillex-device.1.gz \
            share/bash-completion/completions/quillex share/bash-completion/completions/quillex-device \
            share/doc/quillex/README.md share/doc/quillex/copyright share/doc/quillex/changelog.gz; do
    [[ -s $prefix/$file ]] || fail "not installed: $file"
done
# Every picture or file the installed README links to is there beside it.
links=$(grep -oE '\]\([^)#]+\)' "$doc/README.md" | sed 's/^](//; s/)$//' | grep -v '^[a-z]*://')
[[ -n $links ]] || fail "no links read from the README"
for link in $links; do
    [[ -s $doc/$link ]] || fail "the README links to $link, not installed beside it"
done
# The changelog's latest entry is this version's.
[[ $(zcat "$doc/changelog.gz" | head -1) == "quillex ($version) "* ]] ||
    fail "changelog.gz does not start with version $version: $(zcat "$doc/changelog.gz" | head -1)"
quillex=$prefix/bin/quillex tool=$prefix/bin/quillex-device

# Versions: this build's for both tools, the program's own beside it for quillex.
[[ $("$quillex" --version) =~ ^quillex\ ${version//./\\.}\ \(program\ v[0-9]+\.[0-9]+\)$ ]] ||
    fail "quillex --version: $("$quillex" --version)"
expect_equal "quillex -V" "$("$quillex" --version)" "$("$quillex" -V)"
expect_equal "quillex-device --version" "quillex-device $version" "$("$tool" --version)"

# Manual pages: groff reports every warning, and the page names each option and command.
# The commands and options come from the programs' help, so a new one needs its page too.
page_text() {  # the page's source with roff's escapes for '-' and fonts removed
    zcat "$prefix/share/man/man1/$1.1.gz" | sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g'
}
for page in quillex quillex-device; do
    warnings=$(zcat "$prefix/share/man/man1/$page.1.gz" | groff -man -Tutf8 -ww -z 2>&1)
    [[ -z $warnings ]] || fail "$page.1 renders with warnings: $warnings"
    grep -q "^\.TH .*\"Quillex $version\"" <<<"$(page_text $page)" || fail "$page.1 is not of version $version"
done
help_words() {  # the options and sub-commands of one level of quillex-device's help
    "$tool" "$@" --help | awk '/^(Options|Subcommands):/ {section = 1; next} /^[^ ]/ {section = 0}
        section && /^  [^ ]/ {n = split($1, names, ","); for (i = 1; i <= n; i++) print names[i]}'
}
help_subcommands() {
    "$tool" "$@" --help | awk '/^Subcommands:/ {section = 1; next} /^[^ ]/ {section = 0} section && /^  [^ ]/ {print $1}'
}
device_words=()  # "command [sub] word" for every level
for command in "" $(help_subcommands); do
    for word in $(help_words $command); do device_words+=("$command|$word"); done
    [[ -z $command ]] && continue
    for sub in $(help_subcommands $command); do
        for word in $(help_words $command $sub); do device_words+=("$command $sub|$word"); done
    done
done
(( ${#device_words[@]} > 20 )) || fail "too few words read from quillex-device's help: ${#device_words[*]}"
device_page=$(page_text quillex-device)
for entry in "${device_words[@]}"; do
    command=${entry%|*} word=${entry#*|}
    [[ $word == -h || $word == --help ]] && continue
    # A sub-command is looked for with its command ("clock run"), an option on its own.
    [[ $word == -* ]] || word="${command:+$command }$word"
    grep -qF -- "$word" <<<"$device_page" || fail "quillex-device.1 does not mention \"$word\""
done
quillex_page=$(page_text quillex)
for option in $("$quillex" --help | head -1 | grep -oE -- '-(-[a-z]+|[A-Za-z])\b'); do
    grep -qF -- "$option" <<<"$quillex_page" || fail "quillex.1 does not mention $option"
done

# A device set up by the installed tool starts the installed program.
device=$work/my\ device
"$tool" --device "$device" init >/dev/null || fail "init"
"$tool" --device "$device" clock freeze "2026-12-07 10:00:00" >/dev/null
"$tool" --device "$device" notify add '{"type": 2, "application": "\\Program Files\\Quillex\\Quillex.exe",
    "arguments": "t", "start": "2026-12-07 10:05:00"}' >/dev/null || fail "notify add"
"$tool" --device "$device" clock advance 10m >/dev/null || fail "clock advance"
"$tool" --device "$device" events | grep -qF '"\Program Files\Quillex\Quillex.exe" with "t": its host program ran' ||
    fail "the installed quillex did not run: $("$tool" --device "$device" events)"
expect_equal "the log" $'07/12 10:05:00 ->cleanupTemp\r' "$(cat "$device/fs/Program Files/Quillex/Quillex.log")"
for event in 9 10; do  # two entries, handles 2 and 3, for the completion of `notify clear`
    "$tool" --device "$device" notify add "{\"type\": 1, \"event\": $event, \"application\": \"\\\\Windows\\\\repllog.exe\"}" \
        >/dev/null || fail "notify add"
done

# Completion, called as bash calls it; compopt only works inside a real completion.
complete_words() {  # prints the candidates for the command line "$@", the cursor on its last word
    (
        cd "$work/devices" || exit  # where "-a" would match a candidate "-?" taken for a pattern
        compopt() { :; }
        PATH=$prefix/bin:$PATH
        source "$prefix/share/bash-completion/completions/$1"
        COMP_WORDS=("$@")
        COMP_CWORD=$(($# - 1))
        "_${1//-/_}"
        printf '%s\n' "${COMPREPLY[@]}" | sort
    )
}
mkdir -p "$work/devices/alpha" "$work/devices/beta" "$device/fs/Temp/Sub"
touch "$work/devices/a-file" "$work/devices/-a" "$device/fs/Temp/a b.txt" "$device/fs/Temp/ab'c"
ln -s "$work/devices" "$device/fs/Temp/link"  # listed as a file; never followed
cases=(
    # expected candidates (newline-separated) | the command line, the cursor on its last word
    $'--\n--device\n-h\n-?\n--help\n--json\n--preview\n--quiet\n--screen\n--verbose\n--version\n-V\n-auto|quillex|'
    $'-auto|quillex|--preview|-a'
    $'script|quillex|--screen|'
    $'script|quillex|--screen|=|s'
    "$work/devices/alpha|quillex|--device|$work/devices/al"
    "|quillex|t|"
    "|quillex|--device|$work|-auto|"
    $'12\n24|quillex-device|locale|--clock|'
    $'import\nexport|quillex-device|reg|'
    $'--demo\n-h\n--help|quillex-device|init|'
    $'--json\n-h\n--help|quillex-device|notify|list|'
    $'--device\n-h\n--help\n--version\n-V|quillex-device|-'
    $'init\nreg\nclock\nversion\nlocale\nevents\nlog\nhold\nnotify|quillex-device|'
    $'show\nset\nfreeze\nrun\nadvance\nfire-due|quillex-device|--device|/tmp|clock|'
    "--help|quillex-device|reg|import|--"
    "$work/devices/alpha|quillex-device|--device|=|$work/devices/al"
    "$work/devices/a-file|quillex-device|reg|import|$work/devices/a-"
    $'2\n3|quillex-device|--device|'"$device|notify|clear|"
    "|quillex-device|--device|$work/none|notify|clear|"
    "|quillex-device|--device|$work/none|hold|"
    "|quillex-device|clock|show|"
)
for entry in "${cases[@]}"; do
    expected=${entry%%|*}
    IFS='|' read -r -a line <<<"${entry#*|}"
    [[ ${entry: -1} == '|' ]] && line+=("")
    expect_equal "completion of [${line[*]}]" "$(sort <<<"$expected" | sed '/^$/d')" \
        "$(complete_words "${line[@]}" | sed '/^$/d')"
done
# hold: the device's paths, offered in the quoting the word was begun in (Q stands for ').
hold_cases=(
    # expected candidates | the word typed after "hold"
    '\\Temp\\|\\te'                    # bare; names match ignoring case
    '\\Temp\\a\ b.txt|\\Temp\\a\ '
    '\\Temp\\ab\Qc|\\Temp\\ab'
    '\Temp\a b.txt|Q\Temp\A '             # after an open quote, as it reads inside it
    '\Temp\abQ\QQc|Q\Temp\ab'
    '\\Temp\\Sub\\|"\temp\S'
    '\\Temp\\link|\\Temp\\l'             # a link is a file
    '|\\Temp\\link\\'
    '|\\..\\'
)
for entry in "${hold_cases[@]}"; do
    entry=${entry//Q/\'}
    expect_equal "completion of [hold ${entry#*|}]" "${entry%%|*}" \
        "$(complete_words quillex-device --device "$device" hold "${entry#*|}")"
done
[[ -e $work/none ]] && fail "completing created the device $work/none"
# Every command, sub-command and option in quillex-device's help completes: an option
# once a "-" is typed.
for entry in "${device_words[@]}"; do
    word=${entry#*|}
    words=(quillex-device ${entry%|*} "")
    [[ $word == -* ]] && words[-1]=-
    complete_words "${words[@]}" | grep -qxF -- "$word" || fail "completion of [${words[*]}] misses $word"
done

echo "$((failures == 0 ? 1 : 0)) passed, $((failures == 0 ? 0 : 1)) failed"
exit $((failures != 0))
