#!/usr/bin/env bash
# Installs the Debian packages that Pellorin needs and that this machine lacks.
# Usage: install-deps.sh build|test...   (each word adds a group of packages)
set -euo pipefail

declare -A groups=(
  [build]="cmake g++ ninja-build pkgconf qt6-base-dev libtag1-dev libutf8proc-dev"
  [test]="libgtest-dev googletest clang-format xvfb xauth dpkg-dev dosfstools fuse3 fusefat exfatprogs exfat-fuse ntfs-3g clang libclang-rt-14-dev libbenchmark-dev lintian desktop-file-utils appstream man-db groff-base"
  [windows]="g++-mingw-w64-x86-64-posix wine64 googletest x11-apps imagemagick xdotool nsis dpkg-dev libutfcpp-dev"
)

wanted=()
for group in "$@"; do
  [[ -n ${groups[$group]+x} ]] || { echo "install-deps: unknown group '$group'" >&2; exit 2; }
  read -r -a packages <<<"${groups[$group]}"
  wanted+=("${packages[@]}")
done

missing=()
for package in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ $status == "install ok installed" ]] || missing+=("$package")
done

# The Windows build compiles TagLib from Debian's source package (apt-get source taglib), which
# needs deb-src entries for the same archive as the packages.
source_entries=false
if [[ " $* " == *" windows "* ]] &&
    ! apt-get indextargets --format '$(IDENTIFIER)' 2>/dev/null | grep -qx Sources; then
  source_entries=true
fi
(( ${#missing[@]} == 0 )) && ! $source_entries && exit 0

sudo=()
if (( EUID != 0 )); then
  command -v sudo >/dev/null || { echo "install-deps: need root to install: ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
if $source_entries; then
  echo "Adding deb-src entries for Debian's archive"
  if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      "${sudo[@]}" tee /etc/apt/sources.list.d/pellorin-deb-src.sources >/dev/null
  else
    grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
      "${sudo[@]}" tee /etc/apt/sources.list.d/pellorin-deb-src.list >/dev/null
  fi
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
(( ${#missing[@]} == 0 )) && exit 0
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
