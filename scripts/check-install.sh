#!/usr/bin/env bash
# Installs the lyremap package into a fresh Debian 12 root and takes it out again, as a user
# would: debootstrap (minbase) makes the root, apt installs the package with what it depends
# on, lyremap-render draws an installed example, `man lyremap-render` shows its page, and once
# the package is purged nothing of it is left. Needs root and Debian's package mirror, so it is
# not part of CI.
#   bash scripts/check-install.sh [PACKAGE.deb]
# Without PACKAGE it builds the default preset and makes the package with cpack. MIRROR=URL picks
# the mirror (debootstrap's own default otherwise); KEEP=1 keeps the root to look around in.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ $(id -u) -ne 0 ]]; then
    echo "check-install.sh: needs root (debootstrap and chroot)" >&2
    exit 2
fi
command -v debootstrap >/dev/null ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null

step() { echo "== $*"; }

deb=${1:-}
if [[ -z $deb ]]; then
    step "making the package from the default build"
    bash scripts/install-deps.sh
    cmake --preset default >/dev/null
    cmake --build --preset default -j"$(nproc)" >/dev/null
    (cd build/default && cpack -G DEB >/dev/null)
    deb=$(ls build/default/lyremap_*.deb)
fi
deb=$(realpath "$deb")
examples=$(pwd)/examples

work=$(mktemp -d /var/tmp/lyremap-install-check.XXXXXX)
root=$work/root
log=$work/log
cleanup() {
    if mountpoint -q "$root/proc"; then umount "$root/proc"; fi
    if [[ -n ${KEEP:-} ]]; then
        echo "kept: $root (log: $log)"
    else
        rm -rf --one-file-system "$work"
    fi
}
trap cleanup EXIT
trap "exit 130" INT TERM
# Runs a command in the root, with a plain environment, its output in the log unless shown.
in_root() {
    chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive MANWIDTH=80 "$@"
}
quietly() {
    "$@" >>"$log" 2>&1 || { tail -n 30 "$log"; echo "failed: $*"; exit 1; }
}
# Every file, folder and link of the root but the package manager's own records and caches,
# the logs and the home and temporary folders.
snapshot() {
    (cd "$root" && find . -xdev \( -path ./proc -o -path ./tmp -o -path ./root \
        -o -path ./var/lib/dpkg -o -path ./var/lib/apt -o -path ./var/cache -o -path ./var/log \
        \) -prune -o -print | sort)
}

step "package: $(basename "$deb")"
dpkg-deb --field "$deb" Depends | sed 's/^/   Depends: /'

step "debootstrap --variant=minbase bookworm"
quietly debootstrap --variant=minbase bookworm "$root" ${MIRROR:-}
mount -t proc proc "$root/proc"
quietly in_root apt-get update
step "man-db, and the packages lyremap depends on"
quietly in_root apt-get install -y --no-install-recommends man-db
quietly in_root apt-get satisfy -y --no-install-recommends "$(dpkg-deb --field "$deb" Depends)"
snapshot >"$work/before"

step "apt-get install ./$(basename "$deb")"
cp "$deb" "$root/tmp/"
quietly in_root apt-get install -y --no-install-recommends "/tmp/$(basename "$deb")"
in_root dpkg-query -W -f='   ${Package} ${Version} ${Status}\n' lyremap

step "lyremap-render on an installed example"
example=/usr/share/doc/lyremap/examples/dialog.xml
in_root lyremap-render --output /tmp/dialog.png "$example" | sed 's/^/   /'
echo "   --trace: $(in_root lyremap-render --trace "$example" | grep -c '^DrawRectangle ') rectangles drawn"
# Pixels, not bytes: the program writes one bit a pixel, the checked-in picture need not.
pixels() { convert "$1" -depth 8 rgb:-; }
if cmp -s <(pixels "$root/tmp/dialog.png") <(pixels "$examples/dialog.png"); then
    echo "   the map written equals examples/dialog.png in the checkout, pixel for pixel"
else
    echo "   the map written differs from examples/dialog.png"
    exit 1
fi

step "lyremap-viewer without a display"
viewer_output=$(in_root lyremap-viewer 2>&1) && viewer_status=0 || viewer_status=$?
echo "$viewer_output" | sed 's/^/   /'
echo "   exit status $viewer_status"
[[ $viewer_status -eq 1 ]]

step "man lyremap-render"
in_root man lyremap-render >"$work/page"
head -n 4 "$work/page" | sed 's/^/   /'
grep -q 'lyremap-render - draw the map of a window-layout file' "$work/page"
echo "   ($(wc -l <"$work/page") lines; man lyremap-viewer: $(in_root man lyremap-viewer | wc -l) lines)"

step "apt-get purge lyremap"
quietly in_root apt-get purge -y lyremap
if in_root dpkg-query -W lyremap >/dev/null 2>&1; then
    echo "   dpkg still knows lyremap: $(in_root dpkg-query -W -f='${Status}' lyremap)"
    exit 1
fi
echo "   dpkg knows no package lyremap any more"
snapshot >"$work/after"
if diff "$work/before" "$work/after" >"$work/left"; then
    echo "   nothing left behind: the root holds the same $(wc -l <"$work/after") paths as before the install"
else
    echo "   left behind or removed (< before, > after):"
    sed 's/^/   /' "$work/left"
    exit 1
fi
echo "== install check passed"
