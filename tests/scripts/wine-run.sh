#!/bin/bash
# Test emulator: runs a test program in a fresh copy of the template prefix, from
# C:\qmtest, beside the installer, its linker map and the product images.
# usage: wine-run.sh BUILD_DIR PROGRAM.exe [ARGS...]
set -uo pipefail
build=$1
program=$2
shift 2

mkdir -p "$build/prefixes"
prefix=$(mktemp -d "$build/prefixes/p.XXXXXX")
template=$build/wine-template
# The template's system DLLs are never written, so hard links to them are
# enough; everything else is copied so that no test can change the template.
(cd "$template" && tar --exclude=./drive_c/windows/system32 -cf - .) | (cd "$prefix" && tar -xf -)
cp -al "$template/drive_c/windows/system32" "$prefix/drive_c/windows/system32"
stage=$prefix/drive_c/qmtest
mkdir -p "$stage/screenshots"
cp "$program" "$build/QM-Install.exe" "$build/QM-Install.map" "$stage/"
cp -r "$build/images" "$stage/images"
[ -d "$build/tools" ] && cp "$build"/tools/*.exe "$stage/" 2>/dev/null

export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cd "$stage"
wineserver -p
timeout 600 wine "$(basename "$program")" "$@"
rc=$?

shopt -s nullglob
for shot in "$stage"/screenshots/*.bmp; do
    mkdir -p "$build/screenshots"
    convert "$shot" "$build/screenshots/$(basename "${shot%.bmp}").png" 2>/dev/null ||
        cp "$shot" "$build/screenshots/"
done
cd "$build"
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
[ -n "${QM_KEEP_PREFIX:-}" ] || rm -rf "$prefix"
exit $rc
