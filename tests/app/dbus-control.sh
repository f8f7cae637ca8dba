#!/usr/bin/env bash
# The running program driven over a private session bus by gdbus, a client
# of its own: play, list, read and follow Playing, a refusal, stop, a second
# start that raises the first, and a start without any bus.
# The command line goes through the running program when there is one.
# Run as: dbus-run-session -- dbus-control.sh QUELLIO QUELLIO-CLI WORKDIR
set -uo pipefail
quellio=$1 cli=$2 work=$3
rm -rf "$work" && mkdir -p "$work"
export QT_QPA_PLATFORM=offscreen QUELLIO_AUDIO_BACKEND=null QUELLIO_HOME=$work/home
. "$(dirname "$0")/session.sh"

"$quellio" >"$work/first.log" 2>&1 &
first=$!
trap 'kill $first $monitor 2>/dev/null' EXIT
gdbus wait --session --timeout 60 com.zentrik.Quellio || { fail "the program never took its name"; exit 1; }
gdbus monitor --session -d com.zentrik.Quellio -o /com/zentrik/Quellio >"$work/monitor.log" 2>&1 &
monitor=$!
await grep -q "^Monitoring" "$work/monitor.log" || { fail "no monitor"; exit 1; }

list=$(call com.zentrik.Quellio.List)
case "$list" in "([('欢呼掌声', '掌声'), ('欢呼掌声', '欢呼'),"*) ;; *) fail "List: $list";; esac

# Effects of nearly four seconds: still playing when the next call comes.
expect "Play" "(true,)" "$(call com.zentrik.Quellio.Play 节奏氛围 击鼓)"
expect "Playing" "(<'节奏氛围/击鼓'>,)" "$(playing)"

case "$(call com.zentrik.Quellio.Play 欢呼掌声 没有)" in
    *com.zentrik.Quellio.Error.NoSuchEffect*) ;; *) fail "an unknown title is not NoSuchEffect";; esac

call com.zentrik.Quellio.Play 节奏氛围 雷声 >/dev/null
expect "Playing" "(<'节奏氛围/雷声'>,)" "$(playing)"
expect "Stop" "()" "$(call com.zentrik.Quellio.Stop)"
expect "Playing after Stop" "(<''>,)" "$(playing)"

# The command line plays in the program, which lights and counts it.
expect "cli list" "$(printf '欢呼掌声\t掌声')" "$("$cli" list | head -1)"
expect "cli play" "playing 节奏氛围/击鼓 in the running program" "$("$cli" play 节奏氛围 击鼓)"
expect "Playing after cli play" "(<'节奏氛围/击鼓'>,)" "$(playing)"
"$cli" stop
case "$("$cli" play 节奏氛围 没有 2>&1; echo "rc=$?")" in
    *NoSuchEffect*rc=1) ;; *) fail "the cli does not report a refusal";; esac
# Imports go through the program: its collection shows them at once.
sox -n -r 48000 -c 2 "$work/Jingle.flac" synth 1 sine 440 vol 0.05 pad 0.5 0.5
expect "cli import" "imported $work/Jingle.flac as Jingle" "$("$cli" collection import "$work/Jingle.flac")"
expect "ListFavorites after import" "(['Jingle'],)" "$(call com.zentrik.Quellio.ListFavorites)"
expect "Import as" "('跳', '')" "$(call com.zentrik.Quellio.Import "$work/Jingle.flac" 跳 true false -- -20 false)"
# Without a bus it lists the catalogue itself.
expect "cli list without a bus" "$(printf '欢呼掌声\t掌声')" \
    "$(DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus "$cli" list | head -1)"

# A second start asks the first to come forward and leaves it running.
timeout 30 "$quellio" >"$work/second.log" 2>&1
expect "second start's exit status" 0 $?
kill -0 $first 2>/dev/null || fail "the first instance is gone"
expect "the first still answers" "(<''>,)" "$(playing)"

# Every change of Playing was announced: the monitor has seen the last one
# once the bus delivered a later call to the program.
changes() { grep -c "PropertiesChanged ('com.zentrik.Quellio', {'Playing'" "$work/monitor.log"; }
sawAll() { grep -q "'Playing': <'节奏氛围/雷声'>" "$work/monitor.log" && [ "$(changes)" -ge 6 ]; }
await sawAll
expect "PropertiesChanged signals" 6 "$(changes)"

# Without a session bus the program runs all the same (until stopped here).
DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus timeout 3 "$quellio" >"$work/nobus.log" 2>&1
expect "a start without a bus runs until stopped" 124 $?

finish "dbus control"
