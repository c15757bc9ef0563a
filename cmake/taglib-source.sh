#!/usr/bin/env bash
# Unpacks Debian's source package of TagLib, with Debian's patches, into the folder given: the
# source of the Windows build's TagLib. Needs dpkg-dev and a deb-src entry for Debian's archive,
# which scripts/install-deps.sh windows adds.
set -euo pipefail
destination=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get source -qq taglib >/dev/null)
unpacked=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'taglib-*' | head -n 1)
[[ -n $unpacked ]] || { echo "taglib-source: apt-get source taglib unpacked nothing" >&2; exit 1; }
rm -rf "$destination"
mv "$unpacked" "$destination"
