# Sourced by the scripts that drive the running program over the session
# bus: checks that count their failures, the program's Playing property, and
# waiting for what crosses processes.
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() {  # expect WHAT EXPECTED ACTUAL
    [ "$2" = "$3" ] || fail "$1: expected [$2], got [$3]"
}
call() { gdbus call --session -d com.zentrik.Quellio -o /com/zentrik/Quellio -m "$@" 2>&1; }
playing() { call org.freedesktop.DBus.Properties.Get com.zentrik.Quellio Playing; }
isPlaying() { [ "$(playing)" = "$1" ]; }
# Runs COMMAND... until it succeeds, for ten seconds at most.
await() {
    for _ in $(seq 200); do "$@" && return 0; sleep 0.05; done
    return 1
}
finish() {  # finish NAME: the script's result
    [ $failures -eq 0 ] && echo "$1: all checks passed"
    exit $((failures > 0))
}
