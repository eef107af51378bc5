#!/usr/bin/env bash
# Makes the Debian package of a build, as `cpack -G DEB` does, into a folder of its own, for the
# checks that look at it.
#   build_package.sh CPACK BUILD_DIR OUT_DIR
set -euo pipefail
source "$(dirname "$0")/common.sh"
# Without scdoc the build leaves the manual pages out, and the package would lack them.
need_tools dpkg-deb dpkg-shlibdeps file scdoc
cpack=$1 build=$2 out=$3

rm -rf "$out"
mkdir -p "$out"
# A group-writable umask, as some users have: the modes in the package must not follow it.
umask 002
if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1; then
    cat "$out/cpack.log"
    exit 1
fi
ls "$out"/*.deb
