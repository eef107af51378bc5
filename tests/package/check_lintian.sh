#!/usr/bin/env bash
# lintian finds no error in the package made by build_package.sh. Its other findings are shown;
# the README lists the warnings that remain, each with its reason.
#   check_lintian.sh PACKAGE_DIR
set -uo pipefail
source "$(dirname "$0")/common.sh"
need_tools lintian
exec lintian --fail-on error --display-info --tag-display-limit 0 "$1"/lyremap_*.deb
