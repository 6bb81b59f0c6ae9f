#!/usr/bin/env bash
# Installs what is missing, builds, and runs Marnifex against the simulated camera "Demo"
# (marnifex V:Demo=XML/VirtualDevice-Demo.state, with the demo descriptions of XML/), and the same
# camera behind the simulated Camera Link serial library, whose port is listed (and found) first.
# Both start with the values that the state file sets.
#
# With a display the program simply starts; connect with OK in the "Connect to Camera" dialog.
# Without one ($DISPLAY unset) it runs on a virtual X display, accepts the connect dialog
# itself, and saves a screenshot of the main window showing the demo camera's settings.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build >/dev/null
echo "Built build/marnifex. The camera descriptions in XML/:"
build/tools/mfxdescribe/mfxdescribe XML
export MARNIFEX_CLSERIAL="$PWD/build/tools/mfxsimclserial/libmfxsimclserial.so"
export MARNIFEX_SIMCL_CAMERAS=Demo
export MARNIFEX_SIMCL_STATE="$PWD/XML/VirtualDevice-Demo.state"

if [ -n "${DISPLAY:-}" ]; then
    exec build/marnifex V:Demo=XML/VirtualDevice-Demo.state "$@"
fi

shot="$PWD/build/demo-screenshot.png"
work="$(mktemp -d)"
xvfb_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A free display number.
display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.1
done
export DISPLAY=":$display"

# A private settings store, so that the demo leaves the user's own preferences alone: no
# question on exit, the console beside the tree, and the Guru level with every user setting.
mkdir -p "$work/config/Vorlex"
cat >"$work/config/Vorlex/Marnifex.conf" <<'CONF'
[General]
askExitWindows=false
runtimeShowConsole=true
modeView=2
CONF

echo "No display found: running on the virtual display $DISPLAY."
XDG_CONFIG_HOME="$work/config" HOME="$work" build/marnifex V:Demo=XML/VirtualDevice-Demo.state \
    >"$work/marnifex.log" 2>&1 &
app_pid=$!

# The connect dialog opens after the splash screen; OK is enabled once discovery has found
# the simulated camera, so press Enter until the dialog has gone.
accept_connect_dialog() {
    local dialog=""
    for _ in $(seq 150); do
        dialog="$(xdotool search --onlyvisible --name '^Connect to Camera$' 2>/dev/null | head -n1 || true)"
        [ -n "$dialog" ] && break
        kill -0 "$app_pid" 2>/dev/null || { echo "marnifex ended early:"; cat "$work/marnifex.log"; exit 1; }
        sleep 0.1
    done
    [ -n "$dialog" ] || { echo "The connect dialog did not appear."; exit 1; }
    for _ in $(seq 60); do
        sleep 0.5
        xdotool search --name '^Connect to Camera$' >/dev/null 2>&1 || break
        xdotool windowfocus --sync "$dialog" 2>/dev/null || true
        xdotool key --window "$dialog" Return 2>/dev/null || true
    done
    if xdotool search --name '^Connect to Camera$' >/dev/null 2>&1; then
        echo "The connect dialog could not be accepted."
        exit 1
    fi
}
echo "Connect dialog open; waiting for the simulated camera and accepting it."
accept_connect_dialog

main="$(xdotool search --onlyvisible --name '^Marnifex$' 2>/dev/null | head -n1 || true)"
[ -n "$main" ] || { echo "The main window did not appear."; exit 1; }
# Large enough for every row at the Guru level, the Test group opened included.
xdotool windowmove "$main" 0 0 2>/dev/null || true
xdotool windowsize --sync "$main" 1100 760 2>/dev/null || true

# The tree reads every value from the simulated camera, one exchange at a time (each waits half
# its time limit, as a slow line would).
sleep 10

# Open the collapsed Test group (its arrow) to show the test pattern, select the value of
# "Gain" so that its editor (spin box and slider) opens, and give the focus back to the console.
xdotool mousemove --window "$main" 11 508 click 1 2>/dev/null || true
sleep 0.5
xdotool mousemove --window "$main" 400 209 click 1 2>/dev/null || true
sleep 0.5
xdotool mousemove --window "$main" 945 725 click 1 2>/dev/null || true
# Rest the mouse on a row so that the description box explains it, then leave the tree for the
# console before the tooltip shows; the description stays.
xdotool mousemove --window "$main" 80 161 2>/dev/null || true
sleep 0.3
xdotool mousemove --window "$main" 90 166 2>/dev/null || true
sleep 1
xdotool mousemove --window "$main" 900 300 2>/dev/null || true
sleep 1
import -window "$main" "$shot"
cp "$work/marnifex.log" build/demo-marnifex.log
echo "Screenshot of the main window with the demo camera's settings and the editor of Gain: $shot"
