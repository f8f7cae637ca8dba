#!/usr/bin/env bash
# The program on Qt's native Wayland platform against a headless weston: it
# maps its window (a buffer attached to its toplevel once configured) and
# ends with status 0 when asked to.
# Run as: dbus-run-session -- wayland-headless.sh QUELLIO WORKDIR
set -uo pipefail
quellio=$1 work=$2
rm -rf "$work" && mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR=$work/runtime WAYLAND_DISPLAY=quellio-test
fail() { echo "FAIL: $*"; tail -20 "$work/weston.log" "$work/quellio.log" 2>/dev/null; exit 1; }
wait_for() {  # wait_for FILE PATTERN: up to 60 s, less if the program ended
    local end=$((SECONDS + 60))
    until grep -q "$2" "$1" 2>/dev/null; do
        [ $SECONDS -lt $end ] && kill -0 $program 2>/dev/null || return 1
        sleep 0.1
    done
}

weston --backend=headless-backend.so --socket="$WAYLAND_DISPLAY" --idle-time=0 --no-config \
    >"$work/weston.log" 2>&1 &
weston=$!
trap 'kill $weston $program 2>/dev/null' EXIT
for _ in $(seq 600); do [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] && break; sleep 0.1; done
[ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] || fail "weston did not start"

# The client's side of the protocol shows what the window did; its title is
# the Chinese one whatever the machine's language.
env -u DISPLAY QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client QUELLIO_AUDIO_BACKEND=null QUELLIO_LANG=zh \
    QUELLIO_HOME="$work/home" "$quellio" >"$work/quellio.log" 2>&1 &
program=$!
wait_for "$work/quellio.log" 'xdg_toplevel@[0-9]*\.set_title("声匣")' || fail "no toplevel titled 声匣"
wait_for "$work/quellio.log" 'xdg_surface@[0-9]*\.ack_configure' || fail "the window was never configured"
wait_for "$work/quellio.log" 'wl_surface@[0-9]*\.attach(wl_buffer@' || fail "the window never drew"

kill -TERM $program
wait $program
status=$?
[ $status -eq 0 ] || fail "ended with status $status"
grep -q 'xdg_toplevel@[0-9]*\.destroy()' "$work/quellio.log" || fail "the window was not closed before exit"
echo "wayland-headless: ok"
