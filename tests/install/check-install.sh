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
for f in bin/quellio bin/quellio-cli \
         share/applications/com.zentrik.quellio.desktop \
         share/icons/hicolor/scalable/apps/com.zentrik.quellio.svg \
         share/quellio/images/AppIcon.svg; do
  [ -e "$prefix/$f" ] || fail "missing $f"
done
ls "$prefix"/share/quellio/SoundEffects/*.plist >/dev/null || fail "no catalogue installed"

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/com.zentrik.quellio.desktop"
fi

# Every sound the installed CLI resolves (the last column of each effect
# line) must lie under the prefix.
unset QUELLIO_RESOURCES QUELLIO_SOUND_EFFECTS
paths="$(QUELLIO_HOME="$2/home" "$prefix/bin/quellio-cli" catalogue | awk -F'\t' 'NF >= 4 { print $NF }')"
[ -n "$paths" ] || fail "no sounds listed"
real_prefix="$(cd "$prefix" && pwd -P)"
outside="$(grep -v -F "$real_prefix/share/quellio/SoundEffects/" <<<"$paths" || true)"
[ -z "$outside" ] || fail "installed CLI resolves sounds outside its prefix: $(head -1 <<<"$outside")"
while read -r f; do [ -f "$f" ] || fail "missing sound $f"; done <<<"$paths"
echo "check-install: ok ($(wc -l <<<"$paths") sounds under $real_prefix)"
