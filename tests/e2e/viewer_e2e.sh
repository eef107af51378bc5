#!/usr/bin/env bash
# End-to-end test of lyremap-viewer on a real X server with a window manager: starts its own Xvfb
# and openbox, drives the window with xdotool, reads the clipboard with xclip and compares the
# pasted picture and a screenshot of the map area, pixel for pixel, with what lyremap-render
# draws for the same file. On the way it checks what the window manager is told and offers (no
# maximising, no resizing), where the Open dialog stands, that the command line is ignored, and
# that the viewer leaves nothing in its home folder.
#
# Usage: viewer_e2e.sh VIEWER RENDER LAYOUT
# Exit status: 0 passed, 1 failed, 77 a needed tool is missing (reported as skipped).
set -uo pipefail

for tool in Xvfb openbox xdotool xclip xprop xwininfo import convert; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"
        exit 77
    fi
done

viewer=$1 render=$2 layout=$(realpath "$3")
title='Varnholt lyreWindow Map Viewer'

work=$(mktemp -d)
xvfb_pid='' wm_pid='' viewer_pid=''
cleanup() {
    [[ -n $viewer_pid ]] && kill "$viewer_pid" 2>/dev/null
    [[ -n $wm_pid ]] && kill "$wm_pid" 2>/dev/null
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    # What the programs said, for a failure that is theirs rather than the test's.
    for log in viewer openbox xvfb; do
        [[ -s $work/$log.log ]] && { echo "--- $log.log"; tail -n 20 "$work/$log.log"; }
    done
    # A viewer that still runs but does not answer: where each of its threads waits, and which
    # windows the X server has at the top level.
    if [[ -n $viewer_pid ]] && kill -0 "$viewer_pid" 2>/dev/null; then
        if command -v gdb >/dev/null; then
            echo "--- the viewer's threads"
            timeout 60 gdb -p "$viewer_pid" -batch -ex 'thread apply all bt 30' 2>&1 |
                grep -E '^(Thread|#)' | head -n 120
        fi
        echo "--- top-level windows"
        xwininfo -root -children 2>&1 | tail -n +6 | head -n 40
    fi
    exit 1
}

# Fails when the viewer has ended, with its exit status or the signal that ended it.
check_viewer_runs() {
    [[ -z $viewer_pid ]] || kill -0 "$viewer_pid" 2>/dev/null && return
    wait "$viewer_pid"
    local status=$?
    viewer_pid=''
    ((status > 128)) && fail "the viewer was ended by signal $((status - 128))"
    fail "the viewer ended early with status $status"
}

# wait_for SECONDS DESCRIPTION COMMAND...: polls COMMAND until it succeeds.
wait_for() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        check_viewer_runs
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

# The values of a window's CARDINAL or ATOM property, separated by spaces.
property() {
    xprop -id "$1" "$2" | sed -n 's/^[^=]*= //p' | tr -d ','
}

# "X Y WIDTH HEIGHT" of a window on the screen, without the window manager's frame.
window_geometry() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
        /^ *Width:/ {w = $NF} /^ *Height:/ {h = $NF} END {print x, y, w, h}'
}

# "X Y WIDTH HEIGHT" of the frame the window manager puts around the window: the window's own
# place and size grown by its _NET_FRAME_EXTENTS (left, right, top, bottom).
frame_geometry() {
    local x y width height left right top bottom
    read -r x y width height < <(window_geometry "$1")
    read -r left right top bottom < <(property "$1" _NET_FRAME_EXTENTS)
    echo "$((x - left)) $((y - top)) $((width + left + right)) $((height + top + bottom))"
}
has_frame() { [[ -n $(property "$1" _NET_FRAME_EXTENTS) ]]; }

# An X server on a display number it chooses itself, free by construction. A server that ends
# or stays silent during its start-up is started again, up to three times: it is the test's
# stage, not what the test is about, and its log is shown each time.
start_xvfb() {
    : >"$work/display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    local deadline=$((SECONDS + 20))
    until [[ -s $work/display ]]; do
        kill -0 "$xvfb_pid" 2>/dev/null && ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}
for attempt in 1 2 3; do
    start_xvfb && break
    echo "Xvfb did not report a display (attempt $attempt); its log:"
    cat "$work/xvfb.log"
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=''
    ((attempt < 3)) || fail "timed out waiting for Xvfb to report its display"
done
export DISPLAY=":$(head -n 1 "$work/display")"
unset WAYLAND_DISPLAY
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
echo "Xvfb pid $xvfb_pid on $DISPLAY"

# The window manager keeps its own files in a home of its own.
mkdir "$work/wm-home"
HOME="$work/wm-home" XDG_CONFIG_HOME="$work/wm-home" XDG_CACHE_HOME="$work/wm-home" \
    openbox >"$work/openbox.log" 2>&1 &
wm_pid=$!
wait_for 20 "openbox to manage the screen" sh -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q window"
# openbox names its check window before its start-up is over, and events that reach it in the
# meantime wait until new traffic wakes its main loop: a window mapped then may never be shown.
# It is in that loop once it has carried out a request, here a change of the number of desktops
# and its undoing; every poll sends the request again, which also wakes a loop that waits.
desktops_become() {
    xdotool set_num_desktops "$1" && [[ $(xdotool get_num_desktops) == "$1" ]]
}
wait_for 20 "openbox to publish its desktops" sh -c '[ "$(xdotool get_num_desktops)" -gt 0 ]'
desktops=$(xdotool get_num_desktops)
wait_for 20 "openbox to add a desktop" desktops_become $((desktops + 1))
wait_for 20 "openbox to remove it again" desktops_become "$desktops"
echo "openbox pid $wm_pid, $desktops desktops"

# The viewer's home holds only another Qt program's file dialog state: a last folder the first
# Open must not start in, and a history. Nothing is to be added, changed or removed there.
home="$work/home"
mkdir -p "$home/.config"
printf '[FileDialog]\nlastVisited=file:///usr\nhistory=file:///usr\n' >"$home/.config/QtProject.conf"
(cd "$home" && find . -exec stat -c '%n %s %Y' {} + | sort) >"$work/home-before"

# Another program's text on the clipboard, which a Copy before any Open must remove.
echo "not a picture" | xclip -selection clipboard -i
wait_for 10 "xclip to own the clipboard" clipboard_offers UTF8_STRING

# The toolkit's own options on the command line, which the viewer ignores.
HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" \
    XDG_DATA_HOME="$home/.local/share" QT_QPA_PLATFORM=xcb \
    "$viewer" -qwindowtitle other -qwindowgeometry 300x200+5+5 -reverse -style windows \
    >"$work/viewer.log" 2>&1 &
viewer_pid=$!
# Starting the viewer on a heavily loaded machine has taken over 30 seconds.
wait_for 90 "the main window" has_window "^$title\$"
window=$(visible_window "^$title\$")
echo "viewer pid $viewer_pid, window $window"
wait_for 10 "the main window's frame" has_frame "$window"

# The window stands at its designed place with its designed size, whatever the command line.
read -r _ _ width _ < <(window_geometry "$window")
read -r frame_x frame_y _ _ < <(frame_geometry "$window")
[[ "$frame_x $frame_y $width" == "386 106 820" ]] ||
    fail "the window's frame is at $frame_x,$frame_y and $width wide, not at 386,106 and 820 wide"

# Motif hints: functions move, minimise, close; decorations border, title, menu, minimise.
read -r flags functions decorations _ < <(property "$window" _MOTIF_WM_HINTS)
echo "_MOTIF_WM_HINTS flags $flags functions $functions decorations $decorations"
((flags & 1 && flags & 2)) || fail "the Motif hints give no functions or no decorations"
((functions & 2)) && fail "the Motif hints offer resizing"
((functions & 16)) && fail "the Motif hints offer maximising"
((functions & 8 && functions & 32)) || fail "the Motif hints do not offer minimising and closing"
((decorations & 4)) && fail "the Motif hints ask for resize handles"
((decorations & 64)) && fail "the Motif hints ask for a maximise button"
((decorations & 16 && decorations & 32)) || fail "the Motif hints lack the system menu or minimise"
actions=$(property "$window" _NET_WM_ALLOWED_ACTIONS)
echo "_NET_WM_ALLOWED_ACTIONS $actions"
for action in RESIZE MAXIMIZE_HORZ MAXIMIZE_VERT; do
    [[ " $actions " == *" _NET_WM_ACTION_$action "* ]] && fail "the window manager offers $action"
done
for action in MINIMIZE CLOSE MOVE; do
    [[ " $actions " == *" _NET_WM_ACTION_$action "* ]] || fail "the window manager lacks $action"
done

xdotool windowactivate --sync "$window"
xdotool key --clearmodifiers ctrl+c
wait_for 10 "Copy before Open to empty the clipboard" clipboard_lacks UTF8_STRING
clipboard_lacks image/png || fail "Copy before any Open offered a picture"

# The Open dialog: centred across the screen, its top a third down the height it leaves free,
# measured with its frame; the same on every Open.
expected_dialog_place() {
    local _x _y width height
    read -r _x _y width height < <(frame_geometry "$1")
    echo "$(((1280 - width) / 2)) $(((1024 - height) / 3)) $width $height"
}
places=()
for open in first second; do
    xdotool windowactivate --sync "$window"
    xdotool key --clearmodifiers ctrl+o
    wait_for 20 "the Open dialog" has_window '^Open'
    dialog=$(visible_window '^Open')
    wait_for 10 "the Open dialog's frame" has_frame "$dialog"
    sleep 0.5
    place=$(frame_geometry "$dialog")
    expected=$(expected_dialog_place "$dialog")
    echo "$open Open: dialog frame $place"
    [[ $place == "$expected" ]] || fail "the $open Open's dialog frame is $place, not $expected"
    places+=("$place")
    if [[ $open == first ]]; then
        xdotool windowactivate --sync "$dialog"
        xdotool key --clearmodifiers Escape
        wait_for 20 "the Open dialog to close" has_no_window '^Open'
    fi
done
[[ ${places[0]} == "${places[1]}" ]] || fail "the dialog moved between two Opens"

xdotool windowactivate --sync "$dialog"
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 20 "$layout"
sleep 0.5
xdotool key --clearmodifiers Return
wait_for 20 "the Open dialog to close" has_no_window '^Open'

xdotool windowactivate --sync "$window"
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

(cd "$home" && find . -exec stat -c '%n %s %Y' {} + | sort) >"$work/home-after"
diff "$work/home-before" "$work/home-after" >"$work/home-diff" ||
    fail "the viewer changed its home folder: $(tr '\n' ' ' <"$work/home-diff")"
echo "PASS"
