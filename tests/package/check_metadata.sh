#!/usr/bin/env bash
# The desktop entry and the AppStream metainfo pass the validators that distributions and
# software centres apply: desktop-file-validate says nothing, not even a hint, and appstreamcli
# finds no error or warning.
#   check_metadata.sh DESKTOP_ENTRY METAINFO
set -uo pipefail
source "$(dirname "$0")/common.sh"
need_tools desktop-file-validate appstreamcli
desktop=$1 metainfo=$2

status=0
report=$(desktop-file-validate "$desktop" 2>&1) || status=1
if [[ -n $report ]]; then
    echo "$report"
    status=1
fi
appstreamcli validate --no-net --pedantic --no-color "$metainfo" || status=1
exit $status
