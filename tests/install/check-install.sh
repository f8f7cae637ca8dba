#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks that the installed
# program finds its own resources there, not the source tree's.
# Usage: check-install.sh BUILD_DIR SCRATCH_DIR
set -euo pipefail
build="$1"
prefix="$2/prefix"
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "check-install: $*" >&2; exit 1; }
. "$(dirname "$0")/check-prefix.sh"
check_prefix "$prefix" "$2/home"
# A developer's install keeps the collector.
[ -x "$prefix/bin/tally-collector" ] || fail "tally-collector not installed"
echo "check-install: ok ($sound_count sounds under $prefix)"
