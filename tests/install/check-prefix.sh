# Sourced: check_prefix PREFIX HOME checks an installed tree: the desktop
# entry and icon are there, and every sound the installed CLI resolves (the
# last column of each effect line) lies under PREFIX.
check_prefix() {
  local prefix="$1" home="$2" f paths real_prefix outside
  for f in bin/quellio bin/quellio-cli \
           share/applications/com.zentrik.quellio.desktop \
           share/icons/hicolor/scalable/apps/com.zentrik.quellio.svg \
           share/quellio/images/AppIcon.svg; do
    [ -e "$prefix/$f" ] || fail "missing $f"
  done
  ls "$prefix"/share/quellio/SoundEffects/*.plist >/dev/null || fail "no catalogue installed"
  desktop-file-validate "$prefix/share/applications/com.zentrik.quellio.desktop"

  paths="$(unset QUELLIO_RESOURCES QUELLIO_SOUND_EFFECTS
           QUELLIO_HOME="$home" "$prefix/bin/quellio-cli" catalogue | awk -F'\t' 'NF >= 4 { print $NF }')"
  [ -n "$paths" ] || fail "no sounds listed"
  real_prefix="$(cd "$prefix" && pwd -P)"
  outside="$(grep -v -F "$real_prefix/share/quellio/SoundEffects/" <<<"$paths" || true)"
  [ -z "$outside" ] || fail "installed CLI resolves sounds outside its prefix: $(head -1 <<<"$outside")"
  while read -r f; do [ -f "$f" ] || fail "missing sound $f"; done <<<"$paths"
  sound_count="$(wc -l <<<"$paths")"
}
