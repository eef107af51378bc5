#!/usr/bin/env bash
# Each manual page formats without a warning from man and groff and has a NAME line that whatis
# can read; the page of lyremap-render has an entry under OPTIONS for exactly the options that
# `lyremap-render --help` lists.
#   check_manpages.sh LYREMAP_RENDER RENDER_PAGE_SOURCE.scd ROFF_PAGE...
set -uo pipefail
source "$(dirname "$0")/common.sh"
need_tools man lexgrog
render=$1 render_source=$2
shift 2
if [[ $# -eq 0 ]]; then
    echo "SKIP: the manual pages were not built (scdoc missing when the build was configured)"
    exit 77
fi

status=0
for page in "$@"; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    if [[ -n $warnings ]]; then
        echo "$page: man --warnings says:"
        echo "$warnings"
        status=1
    fi
    lexgrog "$page" >/dev/null || { echo "$page: whatis cannot read its NAME line"; status=1; }
done

listed=$(help_options "$render")
documented=$(sed -n '/^# OPTIONS/,/^# [A-Z]/p' "$render_source" |
    grep -oE '^\*--[a-z][a-z0-9-]*' | tr -d '*' | sort -u)
if [[ -z $listed || $listed != "$documented" ]]; then
    echo "The options of lyremap-render --help and of its manual page differ"
    echo "(< in --help only, > in the manual page only):"
    diff <(echo "$listed") <(echo "$documented")
    status=1
fi
exit $status
