#!/usr/bin/env bash
# Installs the Debian packages lyremap needs to build, run and test, and only those that are
# missing. Quiet and idempotent: a second run installs nothing. Needs root (or sudo).
set -euo pipefail

packages=(
    # Building, and the libraries with their headers (libxcb for the viewer's window manager
    # hints on X11).
    cmake g++ make pkg-config qt6-base-dev libxcb1-dev libxml2-dev libxml2-utils
    # Showing the window: qt6-base-dev brings Qt's X11 platform plugin and the X libraries it
    # loads; a font makes its texts readable.
    fonts-dejavu-core
    # The end-to-end test: an X server and a window manager of its own, keys, the clipboard,
    # window properties, screenshots.
    xvfb openbox xdotool xclip x11-utils imagemagick
    # The Debian package: manual pages made with scdoc, cpack's Depends from dpkg-shlibdeps
    # (dpkg-dev, file), and the checks of what it installs.
    scdoc dpkg-dev file man-db lintian desktop-file-utils appstream bash-completion
    # lyremap-render's SVG test renders the SVG with rsvg-convert.
    librsvg2-bin
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ $status == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
