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
if [ "$bits" = 64 ]; then loader=/usr/lib/wine/wine64; else loader=/usr/lib/wine/wine; export WINEARCH=win32; fi
case " $* " in
  *" --gtest_list_tests "*)
    # Listing a program's cases for ctest, before the run's fixture has booted the prefix: the
    # first Wine start may boot it and start services, which would inherit ctest's pipe and
    # keep it waiting, so the listing writes to a file of its own. Its lines lose the CR that
    # Windows' text mode adds.
    list=$(mktemp) || exit 1
    "$loader" "$@" </dev/null >"$list" 2>/dev/null
    status=$?
    tr -d '\r' <"$list"
    rm -f "$list"
    exit $status ;;
esac
exec "$loader" "$@"
