#!/usr/bin/env bash
# The bash completion of lyremap-render offers the options its --help lists, PNG and SVG files
# after --output, folders after --output-dir, 1 to 16 after --scale, nothing after --at and
# layout files otherwise, folders everywhere a file goes.
#   check_completion.sh LYREMAP_RENDER COMPLETION_SCRIPT
set -uo pipefail
source "$(dirname "$0")/common.sh"
framework=/usr/share/bash-completion/bash_completion
if [[ ! -r $framework ]]; then
    echo "SKIP: bash-completion is not installed (bash scripts/install-deps.sh installs it)"
    exit 77
fi
render=$(realpath "$1") completion=$(realpath "$2")
source "$framework"
source "$completion"

# candidates WORD...: the candidates, sorted, for the last WORD of "lyremap-render WORD...".
candidates() {
    COMP_WORDS=("$render" "$@")
    COMP_CWORD=$#
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _comp_lyremap_render "$render" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' '
}

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder" && touch menu.xml map.png map.svg notes.txt && mkdir maps

options=$(help_options "$render" | paste -sd ' ')
[[ -n $options ]] || { echo "$render --help lists no options"; exit 1; }
status=0
# Each case: the words typed | the candidates expected.
while IFS='|' read -r typed expected; do
    read -ra words <<<"$typed"
    [[ $typed == *' ' || -z $typed ]] && words+=("")
    actual=$(candidates "${words[@]}")
    if [[ $actual != "${expected# }" ]]; then
        echo "lyremap-render ${typed}<TAB>: got '$actual', expected '${expected# }'"
        status=1
    fi
done <<EOF_CASES
--| $options
--tr| --trace
| maps menu.xml
--trace m| maps menu.xml
--output | map.png map.svg maps
--output m| map.png map.svg maps
--output=m| map.png map.svg maps
--output-dir | maps
--scale 1| 1 10 11 12 13 14 15 16
--trace --output map.png | maps menu.xml
--diff menu.xml | maps menu.xml
--help | 
--at | 
--ch| --check
--json m| maps menu.xml
EOF_CASES
exit $status
