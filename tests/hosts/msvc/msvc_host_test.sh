#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Builds a host the way Visual C++ builds one (Microsoft's ABI, no C run-time library) against
# an installation of this build tree, and runs it under Wine from the installed bin/.
# Usage: msvc_host_test.sh 32|64 BUILD_DIR SOURCE_DIR WORK_DIR WINE_RUN CLANG LLD_LINK DLLTOOL
set -eu
bits=$1 build=$2 src=$3 work=$4 wine_run=$5 clang=$6 lld_link=$7 dlltool=$8

if [ "$bits" = 64 ]; then
  triple=x86_64-pc-windows-msvc machine=i386:x86-64
  k32="GetStdHandle WriteFile DeleteFileA ExitProcess"
else
  # stdcall names carry their argument bytes in a 32-bit import library.
  triple=i686-pc-windows-msvc machine=i386
  k32="GetStdHandle@4 WriteFile@20 DeleteFileA@4 ExitProcess@4"
fi

rm -rf "$work"
mkdir -p "$work/run"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

for f in tarnwick config corvane; do
  for ext in def lib; do
    [ -f "$prefix/lib/$f.$ext" ] || { echo "missing from the installation: lib/$f.$ext"; exit 1; }
  done
done

# kernel32's import library, made the same way as the library's.
{ echo "LIBRARY kernel32.dll"; echo "EXPORTS"; for n in $k32; do echo "    $n"; done; } > "$work/kernel32.def"
"$dlltool" -m "$machine" -k -d "$work/kernel32.def" -l "$work/kernel32.lib"

# The header in C++ too, under the same ABI.
"$clang" --target="$triple" -ffreestanding -fsyntax-only -x c++ -I "$prefix/include" "$src/cxx_header.cpp"

"$clang" --target="$triple" -ffreestanding -fno-builtin -fno-stack-protector -Wall -Werror \
  -I "$prefix/include" -c "$src/msvc_host.c" -o "$work/msvc_host.obj"
"$lld_link" /nologo /entry:start /subsystem:console /nodefaultlib "$work/msvc_host.obj" \
  "$prefix/lib/tarnwick.lib" "$work/kernel32.lib" "/out:$prefix/bin/msvc_host.exe"

cd "$work/run"
set +e
"$wine_run" "$bits" "$prefix/bin/msvc_host.exe"
rc=$?
set -e
exit $rc
