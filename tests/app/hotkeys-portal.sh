#!/usr/bin/env bash
# Global hotkeys through a desktop portal (as on Wayland): a fake portal on
# a private bus binds what the program asks for and fires them.
# Run as: dbus-run-session -- hotkeys-portal.sh QUELLIO QUELLIO-CLI FAKE-PORTAL WORKDIR
set -uo pipefail
quellio=$1 cli=$2 portal=$3 work=$4
rm -rf "$work" && mkdir -p "$work"
export QT_QPA_PLATFORM=offscreen QUELLIO_AUDIO_BACKEND=null QUELLIO_HOME=$work/home \
    QUELLIO_HOTKEYS=portal
. "$(dirname "$0")/session.sh"
activate() {
    gdbus call --session -d org.freedesktop.portal.Desktop -o /org/freedesktop/portal/desktop \
        -m com.zentrik.FakePortal.Activate "$1" >/dev/null
}
bound() { grep -qxF "bind $1" "$work/portal.log"; }
listed() { "$cli" hotkey list | grep -qxF "$1"; }

app='' fake=''
trap 'kill $app $fake 2>/dev/null; wait' EXIT
"$portal" >"$work/portal.log" 2>&1 &
fake=$!
gdbus wait --session --timeout 60 org.freedesktop.portal.Desktop || { fail "no portal"; exit 1; }
"$quellio" >"$work/quellio.log" 2>&1 &
app=$!
gdbus wait --session --timeout 60 com.zentrik.Quellio || { fail "no program"; exit 1; }

# Stop-all's default is bound at launch, a new one as it is set.
await bound "stop-all CTRL+ALT+0" || fail "stop-all is not bound"
"$cli" hotkey set ctrl+alt+1 节奏氛围 击鼓 || fail "setting a hotkey in the program"
await bound "节奏氛围/击鼓 CTRL+ALT+1" || fail "ctrl+alt+1 is not bound"
activate 节奏氛围/击鼓
await isPlaying "(<'节奏氛围/击鼓'>,)" || fail "the portal's shortcut did not play: $(playing)"
activate stop-all
await isPlaying "(<''>,)" || fail "the portal's stop-all did not stop: $(playing)"

# A combination the desktop does not grant stays listed, as taken.
"$cli" hotkey set ctrl+alt+9 节奏氛围 雷声 || fail "setting ctrl+alt+9"
await listed "$(printf 'ctrl+alt+9\t节奏氛围/雷声\ttaken')" ||
    fail "a refused shortcut is not listed as taken"
listed "$(printf 'ctrl+alt+1\t节奏氛围/击鼓\tok')" || fail "a granted shortcut is not ok"

finish "portal hotkeys"
