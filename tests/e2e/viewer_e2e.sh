#!/usr/bin/env bash
# End-to-end test of lyremap-viewer on a real X server: starts its own Xvfb, drives the window
# with xdotool, reads the clipboard with xclip and compares the pasted picture and a screenshot
# of the map area, pixel for pixel, with what lyremap-render draws for the same file.
#
# Usage: viewer_e2e.sh VIEWER RENDER LAYOUT
# Exit status: 0 passed, 1 failed, 77 a needed tool is missing (reported as skipped).
set -uo pipefail

viewer=$1 render=$2 layout=$(realpath "$3")
title='Varnholt lyreWindow Map Viewer'

for tool in Xvfb xdotool xclip xwininfo import convert; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"
        exit 77
    fi
done

work=$(mktemp -d)
xvfb_pid='' viewer_pid=''
cleanup() {
    [[ -n $viewer_pid ]] && kill "$viewer_pid" 2>/dev/null
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}

# wait_for SECONDS DESCRIPTION COMMAND...: polls COMMAND until it succeeds.
wait_for() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || fail "timed out after ${seconds}s waiting for $what"
        sleep 0.1
    done
}

# The X window of a visible top-level window whose name matches the regular expression.
visible_window() {
    xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1
}
has_window() { [[ -n $(visible_window "$1") ]]; }
has_no_window() { [[ -z $(visible_window "$1") ]]; }

# The clipboard's offered formats, one a line; empty when nobody owns it.
clipboard_targets() {
    xclip -selection clipboard -t TARGETS -o 2>/dev/null
}
clipboard_offers() { clipboard_targets | grep -qx "$1"; }
clipboard_lacks() { ! clipboard_targets | grep -qx "$1"; }

# Compares two pictures pixel by pixel as 8-bit RGB.
same_pixels() {
    cmp -s <(convert "$1" -depth 8 rgb:-) <(convert "$2" -depth 8 rgb:-)
}

# An X server on a display number it chooses itself, free by construction.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
wait_for 20 "Xvfb to report its display" test -s "$work/display"
export DISPLAY=":$(head -n 1 "$work/display")"
unset WAYLAND_DISPLAY
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
echo "Xvfb pid $xvfb_pid on $DISPLAY"

# Another program's text on the clipboard, which a Copy before any Open must remove.
echo "not a picture" | xclip -selection clipboard -i
wait_for 10 "xclip to own the clipboard" clipboard_offers UTF8_STRING

QT_QPA_PLATFORM=xcb "$viewer" >"$work/viewer.log" 2>&1 &
viewer_pid=$!
wait_for 30 "the main window" has_window "^$title\$"
window=$(visible_window "^$title\$")
echo "viewer pid $viewer_pid, window $window"

xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers ctrl+c
wait_for 10 "Copy before Open to empty the clipboard" clipboard_lacks UTF8_STRING
clipboard_lacks image/png || fail "Copy before any Open offered a picture"

xdotool key --clearmodifiers ctrl+o
wait_for 20 "the Open dialog" has_window '^Open'
dialog=$(visible_window '^Open')
xdotool windowfocus --sync "$dialog"
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 20 "$layout"
sleep 0.5
xdotool key --clearmodifiers Return
wait_for 20 "the Open dialog to close" has_no_window '^Open'

xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers ctrl+c
wait_for 10 "the map on the clipboard" clipboard_offers image/png
xclip -selection clipboard -t image/png -o >"$work/clipboard.png" || fail "cannot read the clipboard"

"$render" --output "$work/render.png" "$layout" >/dev/null || fail "lyremap-render failed"
same_pixels "$work/clipboard.png" "$work/render.png" ||
    fail "the clipboard's picture differs from lyremap-render's map"

# The map lies 10 pixels (panel border and sunken edge) inside the window's left edge, and 10
# below the menu bar, whose height is what the window has above the 639-pixel client area.
import -window "$window" "$work/window.png" || fail "cannot take a screenshot"
height=$(identify -format '%h' "$work/window.png")
convert "$work/window.png" -crop "800x600+10+$((height - 639 + 10))" +repage "$work/map.png"
same_pixels "$work/map.png" "$work/render.png" ||
    fail "the map on screen differs from lyremap-render's map"

xdotool key --clearmodifiers alt+f
sleep 0.5
xdotool key --clearmodifiers x
deadline=$((SECONDS + 20))
while kill -0 "$viewer_pid" 2>/dev/null; do
    ((SECONDS < deadline)) || fail "File > Exit did not end the viewer"
    sleep 0.1
done
wait "$viewer_pid"
status=$?
viewer_pid=''
((status == 0)) || fail "the viewer ended with status $status"
echo "PASS"
