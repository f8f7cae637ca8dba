#!/usr/bin/env bash
# Builds the Debian package and checks what a user would install: its files,
# its dependencies, the unpacked tree finding its own sounds, the desktop
# entry and AppStream metadata, lintian.
# Usage: check-package.sh SOURCE_DIR VERSION SCRATCH_DIR
set -euo pipefail
src="$1" version="$2" scratch="$3"
fail() { echo "check-package: $*" >&2; exit 1; }
rm -rf "$scratch" && mkdir -p "$scratch"
"$src/scripts/package" "$scratch/out" >"$scratch/package.log" 2>&1 || { tail -30 "$scratch/package.log"; fail "scripts/package failed"; }
deb="$scratch/out/quellio_${version}_amd64.deb"
[ -f "$deb" ] || fail "no $(basename "$deb")"

listing="$(dpkg-deb -c "$deb" | awk '{ print $NF }')"
for f in usr/bin/quellio usr/bin/quellio-cli \
         usr/share/applications/com.zentrik.quellio.desktop \
         usr/share/icons/hicolor/scalable/apps/com.zentrik.quellio.svg \
         usr/share/metainfo/com.zentrik.quellio.metainfo.xml \
         usr/share/man/man1/quellio.1.gz usr/share/man/man1/quellio-cli.1.gz \
         usr/share/doc/quellio/copyright usr/share/doc/quellio/changelog.gz \
         usr/share/quellio/SoundEffects/Cheers.plist; do
  grep -qx "\./$f" <<<"$listing" || fail "package lacks $f"
done
! grep -q tally-collector <<<"$listing" || fail "package holds the development collector"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libc6 libqt6widgets6 libportaudio2 libplist; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
. "$(dirname "$0")/check-prefix.sh"
check_prefix "$root/usr" "$scratch/home"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/com.zentrik.quellio.metainfo.xml" \
  || fail "metainfo does not validate"
grep -q "release version=\"$version\"" "$root/usr/share/metainfo/com.zentrik.quellio.metainfo.xml" \
  || fail "metainfo has no release $version"
zcat "$root/usr/share/man/man1/quellio-cli.1.gz" | grep -q "Exit status" || fail "man page lacks the exit status"

# Help and version need no display.
help="$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/quellio" --help)" || fail "quellio --help failed"
grep -q "^Usage: quellio" <<<"$help" || fail "quellio --help: $help"
[ "$(env -u DISPLAY "$root/usr/bin/quellio" --version)" = "quellio (Quellio) $version" ] || fail "quellio --version"

lintian --fail-on error "$deb" | tee "$scratch/lintian.log" \
  || fail "lintian reports errors"
echo "check-package: ok ($(basename "$deb"), $sound_count sounds, lintian: $(grep -c '^W:' "$scratch/lintian.log" || true) warnings)"
