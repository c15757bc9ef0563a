#!/usr/bin/env bash
# Runs a Windows program under Wine: wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# The prefix is made on first use. Drive Y: is a folder on /dev/shm, another device than the
# build tree, so that moves between C: and Y: cross devices.
set -euo pipefail
prefix=$(realpath -m "$1")
shift
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
[[ -x $wine ]] || wine=$(command -v wine64 || command -v wine)

if [[ ! -f $prefix/system.reg ]]; then
  mkdir -p "$prefix"
  (
    flock 9
    if [[ ! -f $prefix/system.reg ]]; then
      "$wine" wineboot --init >/dev/null 2>&1 || true
      wineserver=$(dirname "$wine")/wineserver
      [[ -x $wineserver ]] || wineserver=wineserver
      "$wineserver" -w || true
    fi
  ) 9>"$prefix.lock"
fi

second_drive=/dev/shm/pellorin-wine-y-$(id -u)
mkdir -p "$second_drive"
[[ -e $prefix/dosdevices/y: ]] || ln -sfn "$second_drive" "$prefix/dosdevices/y:"

exec "$wine" "$@"
