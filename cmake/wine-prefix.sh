#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Boots (start) or stops the private Wine prefix of a build tree; the tests of a run share one
# booted prefix and one persistent wineserver.
# Usage: wine-prefix.sh start|stop 32|64 BUILD_DIR
bits=$2
export WINEPREFIX="$3/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ "$bits" = 64 ]; then loader=/usr/lib/wine/wine64; server=/usr/lib/wine/wineserver64
else loader=/usr/lib/wine/wine; server=/usr/lib/wine/wineserver32; export WINEARCH=win32; fi
marker="$WINEPREFIX.unavailable"
case "$1" in
  start)
    rm -f "$marker"
    if ! "$loader" --version >/dev/null 2>&1; then
      # Some kernels (and sandboxes) cannot execute 32-bit programs at all.
      echo "Wine ($bits-bit) cannot run on this machine: $("$loader" --version 2>&1 | head -n 1)" > "$marker"
      cat "$marker"
      exit 0
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then "$loader" wineboot -i >/dev/null 2>&1 || exit 1; fi
    "$server" -p >/dev/null 2>&1
    # Start the prefix's services now: a service started during a test would inherit that
    # test's output pipe and keep ctest waiting for it long after the test ended.
    "$loader" wineboot </dev/null >/dev/null 2>&1
    exit 0 ;;
  stop)
    [ -f "$marker" ] || "$server" -k >/dev/null 2>&1
    exit 0 ;;
esac
exit 2
