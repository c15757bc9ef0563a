#!/usr/bin/env bash
# Builds the .deb from a build folder and checks what a Debian user gets: both programs, the
# menu entry, the AppStream file and the icons, the copyright file, the changelog and the manual
# pages, the Qt libraries among the dependencies; that lintian finds no error and no warning, the
# menu entry and the AppStream file pass their validators, the manual pages render without a
# warning and agree with `pellorin-move --help`, and every spelling of the version is the same.
# Usage: check_deb.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/package.sh"
make_package DEB "$1" 'pellorin_*.deb'
deb=$package
sources=$(realpath "$(dirname "$0")/../..")
export LC_ALL=C.UTF-8

failures=0
fail() { echo "FAILED: $1"; failures=$((failures + 1)); }

contents=$(dpkg-deb --contents "$deb")
doc=./usr/share/doc/pellorin
for path in ./usr/bin/pellorin ./usr/bin/pellorin-move \
    ./usr/share/applications/pellorin.desktop \
    ./usr/share/metainfo/io.example.Pellorin.metainfo.xml \
    ./usr/share/icons/hicolor/16x16/apps/pellorin.png \
    ./usr/share/icons/hicolor/32x32/apps/pellorin.png \
    ./usr/share/icons/hicolor/128x128/apps/pellorin.png \
    $doc/copyright $doc/changelog.gz \
    ./usr/share/man/man1/pellorin.1.gz ./usr/share/man/man1/pellorin-move.1.gz \
    ./usr/lib/systemd/user/pellorin-watch.service; do
  grep -qF " $path" <<<"$contents" || fail "missing $path"
done

depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
names=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
for library in libqt6widgets6 libqt6gui6 libqt6core6 libstdc++6 libc6; do
  grep -qxF "$library" <<<"$names" || fail "dependency $library"
done

# Each tool says what it found; a missing tool fails the check (scripts/install-deps.sh test).
for tool in lintian desktop-file-validate appstreamcli man; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done
quiet_root() { grep -v 'running with root privileges' || true; }
echo "== lintian"
lint=$(lintian --fail-on error,warning "$deb" 2>&1) || fail "lintian"
quiet_root <<<"$lint"

root=$work/root
dpkg-deb -x "$deb" "$root"
echo "== desktop-file-validate, appstreamcli"
# Hints are printed with a success status: any output counts.
hints=$(desktop-file-validate "$root/usr/share/applications/pellorin.desktop" 2>&1) &&
  [[ -z $hints ]] || fail "desktop-file-validate: $hints"
metainfo=$root/usr/share/metainfo/io.example.Pellorin.metainfo.xml
validation=$(appstreamcli validate --no-net --strict "$metainfo" 2>&1) || fail "appstreamcli"
quiet_root <<<"$validation"

echo "== manual pages"
for page in pellorin pellorin-move; do
  compressed=$root/usr/share/man/man1/$page.1.gz
  warnings=$(MANWIDTH=80 man --warnings -l "$compressed" 2>&1 >/dev/null) || fail "man $page"
  [[ -z $warnings ]] || fail "man $page warns: $warnings"
  zcat "$compressed" >"$work/$page.1"
done

# The page says all that --help says: every option, the default pattern, every exit status.
help=$("$root/usr/bin/pellorin-move" --help)
for option in $(grep -oE -- '--[a-z-]+' <<<"$help" | sort -u); do
  grep -qF -- "${option//-/\\-}" "$work/pellorin-move.1" || fail "pellorin-move.1 lacks $option"
done
pattern=$(sed -n 's/^PATTERN defaults to \([^,]*\),.*/\1/p' <<<"$help")
[[ -n $pattern ]] && grep -qF -- "$pattern" "$work/pellorin-move.1" ||
  fail "pellorin-move.1 lacks the default pattern '$pattern'"
statuses=$(sed -n '/^Exit status:/,$p' <<<"$help" | grep -oE '\b[0-9]\b' || true)
exit_section=$(sed -n '/^\.SH EXIT STATUS/,/^\.SH /p' "$work/pellorin-move.1")
for status in $statuses; do
  grep -qx "\.B $status" <<<"$exit_section" || fail "pellorin-move.1 lacks exit status $status"
done

echo "== copyright, changelog and version"
head -n 1 "$root/$doc/copyright" |
  grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "copyright is not in the machine-readable format"
# The license paragraph, its indentation undone, is the license's own text.
awk '/^License: / && ++seen == 2 {on = 1; next} on' "$root/$doc/copyright" |
  sed 's/^ //; s/^\.$//' >"$work/license-text"
sed -n '/^Permission is hereby granted/,$p' "$sources/LICENSE" |
  diff - "$work/license-text" || fail "copyright's license text differs from LICENSE"

version=$(dpkg-deb --field "$deb" Version)
zcat "$root/$doc/changelog.gz" >"$work/changelog"
changelog_version=$(dpkg-parsechangelog -l "$work/changelog" -S Version)
release=$(grep -oP '<release version="\K[^"]+' "$metainfo" | head -n 1)
echo "package $version, changelog $changelog_version, newest AppStream release $release"
[[ $changelog_version == "$version" ]] || fail "the changelog's newest version is not $version"
[[ $release == "$version" ]] || fail "the AppStream file's newest release is not $version"
exit $((failures > 0))
