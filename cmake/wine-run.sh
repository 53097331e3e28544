#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Runs a Windows program under Wine in its build tree's private prefix, never ~/.wine.
# Usage: wine-run.sh 32|64 PROGRAM ARGS...   (TW_WINEPREFIX may name another prefix)
bits=$1; shift
if [ -z "$TW_WINEPREFIX" ]; then
  dir=$(cd "$(dirname "$1")" && pwd)
  while [ "$dir" != "/" ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  [ "$dir" = "/" ] && dir=$(cd "$(dirname "$1")" && pwd)
  TW_WINEPREFIX="$dir/wineprefix"
fi
if [ -f "$TW_WINEPREFIX.unavailable" ]; then
  cat "$TW_WINEPREFIX.unavailable" >&2
  exit 77   # skipped: this machine cannot run these programs
fi
export WINEPREFIX="$TW_WINEPREFIX"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ "$bits" = 64 ]; then
  exec /usr/lib/wine/wine64 "$@"
fi
export WINEARCH=win32
exec /usr/lib/wine/wine "$@"
