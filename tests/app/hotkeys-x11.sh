#!/usr/bin/env bash
# Global hotkeys on a real X server (Xvfb): keys sent by xdotool while
# another client has the focus fire effects, checked through Playing.
# Run as: dbus-run-session -- hotkeys-x11.sh QUELLIO QUELLIO-CLI X11-GRAB WORKDIR
set -uo pipefail
quellio=$1 cli=$2 grab=$3 work=$4
rm -rf "$work" && mkdir -p "$work"
export QUELLIO_AUDIO_BACKEND=null QUELLIO_HOME=$work/home QT_QPA_PLATFORM=xcb
. "$(dirname "$0")/session.sh"
# A name nothing answers to is refused the same with or without the program.
refusesUnknownNames() {
    case "$("$cli" hotkey set ctrl+alt+3 没有 这个 2>&1; echo "rc=$?")" in
        *NoSuchEffect*这个*rc=1) ;; *) fail "$1: a hotkey for no effect is not refused";; esac
}

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
await test -s "$work/display"
export DISPLAY=:$(head -1 "$work/display")
# Waited for: a program still ending must not write into the next run's files.
trap 'kill $app $other $holder $xvfb 2>/dev/null; wait' EXIT
# Another program holds ctrl+alt+2 before ours starts.
"$grab" >"$work/grab.log" 2>&1 &
holder=$!
await grep -q grabbed "$work/grab.log"

# Stored before the program starts: no program answers yet.
"$cli" hotkey set ctrl+alt+1 节奏氛围 击鼓 || fail "storing a hotkey"
refusesUnknownNames "stored"
"$quellio" >"$work/quellio.log" 2>&1 &
app=$!
gdbus wait --session --timeout 60 com.zentrik.Quellio || { fail "no program"; exit 1; }
# The name is taken once launching is over and the keys are grabbed.
await isPlaying "(<''>,)" || { fail "the program does not answer: $(playing)"; exit 1; }
# Another client takes the focus and tells which keys reach it.
xev -event keyboard -geometry +0+0 -name another >"$work/xev.log" 2>&1 &
other=$!
await xdotool search --name another >/dev/null 2>&1
xdotool search --name another windowfocus 2>/dev/null

xdotool key ctrl+alt+1
await isPlaying "(<'节奏氛围/击鼓'>,)" || fail "ctrl+alt+1 did not play: $(playing)"
# Stop-all's default.
xdotool key ctrl+alt+0
await isPlaying "(<''>,)" || fail "ctrl+alt+0 did not stop: $(playing)"

# A new layout moves "1" to another key, and the hotkey goes with it. Until
# the program has taken the new key, a press reaches the focused client
# instead: press again.
drums() { isPlaying "(<'节奏氛围/击鼓'>,)"; }
passedOn() { [ "$(grep -c "keysym 0x31" "$work/xev.log")" -gt "$seen" ]; }
xmodmap -e "keycode 10 = F30" -e "keycode 250 = 1 exclam"
for _ in $(seq 20); do
    seen=$(grep -c "keysym 0x31" "$work/xev.log")
    xdotool key ctrl+alt+1
    await eval 'drums || passedOn'
    drums && break
done
drums || fail "ctrl+alt+1 stayed on its old key after the layout changed"
xdotool key ctrl+alt+0
await isPlaying "(<''>,)" || fail "ctrl+alt+0 did not stop: $(playing)"

# Set through the running program: it grabs at once.
"$cli" hotkey set ctrl+shift+f5 节奏氛围 雷声 || fail "setting a hotkey in the program"
xdotool key ctrl+shift+F5
await isPlaying "(<'节奏氛围/雷声'>,)" || fail "ctrl+shift+f5 did not play: $(playing)"
"$cli" hotkey clear ctrl+alt+0 || fail "clearing stop-all"
xdotool key ctrl+alt+0
# Not grabbed any more: the key goes to the focused client.
await grep -q "keysym 0x30, 0)" "$work/xev.log" || fail "a cleared hotkey is still grabbed"
refusesUnknownNames "running"
# A combination another program holds is kept but reported.
case "$("$cli" hotkey set ctrl+alt+2 节奏氛围 击鼓 2>&1; echo "rc=$?")" in
    *HotkeyTaken*rc=1) ;; *) fail "a taken combination is not reported";; esac
expect "hotkey list" "$(printf 'ctrl+alt+1\t节奏氛围/击鼓\tok\nctrl+alt+2\t节奏氛围/击鼓\ttaken\nctrl+shift+f5\t节奏氛围/雷声\tok')" \
    "$("$cli" hotkey list | sort)"

finish "x11 hotkeys"
