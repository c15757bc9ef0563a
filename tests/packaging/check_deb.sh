#!/usr/bin/env bash
# Builds the .deb from a build folder and checks what a Debian user gets: both programs, the
# menu entry, the AppStream file and the icons, and the Qt libraries among the dependencies.
# Usage: check_deb.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/package.sh"
make_package DEB "$1" 'pellorin_*.deb'
deb=$package

failures=0
expect() { echo "missing: $1"; failures=$((failures + 1)); }

contents=$(dpkg-deb --contents "$deb")
for path in ./usr/bin/pellorin ./usr/bin/pellorin-move \
    ./usr/share/applications/pellorin.desktop \
    ./usr/share/metainfo/io.example.Pellorin.metainfo.xml \
    ./usr/share/icons/hicolor/16x16/apps/pellorin.png \
    ./usr/share/icons/hicolor/32x32/apps/pellorin.png \
    ./usr/share/icons/hicolor/128x128/apps/pellorin.png; do
  grep -qF " $path" <<<"$contents" || expect "$path"
done

depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
names=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
for library in libqt6widgets6 libqt6gui6 libqt6core6 libstdc++6 libc6; do
  grep -qxF "$library" <<<"$names" || expect "dependency $library"
done
exit $((failures > 0))
