#!/bin/bash
# Test emulator: runs a test program in a fresh copy of the template prefix, from
# C:\qmtest, beside the installer, its linker map, the product images and the x86
# branch converter's samples.
# usage: wine-run.sh BUILD_DIR PROGRAM.exe [ARGS...]
set -uo pipefail
build=$1
program=$2
shift 2

mkdir -p "$build/prefixes"
prefix=$(mktemp -d "$build/prefixes/p.XXXXXX")
template=$build/wine-template
# QM_WINEARCH=win64: the 64-bit template prefix, where the tests run under WOW64.
arch=${QM_WINEARCH:-win32}
[ "$arch" = win64 ] && template=$build/wine-template-win64
bash "$(dirname "$0")/copy-template.sh" "$template" "$prefix"
# Drives for the fault-tolerance tests, where the machine allows mounting:
# T: a 1 MiB tmpfs that a test can fill up, R: a read-only one holding R:\QM.
mounts=()
cleanup_mounts() {
    for m in "${mounts[@]}"; do umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null; done
}
if [ "$(id -u)" = 0 ]; then
    mkdir -p "$prefix/mnt/full" "$prefix/mnt/ro"
    if mount -t tmpfs -o size=1m qmfull "$prefix/mnt/full" 2>/dev/null; then
        mounts+=("$prefix/mnt/full")
        ln -s ../mnt/full "$prefix/dosdevices/t:"
    fi
    if mount -t tmpfs -o size=64k qmro "$prefix/mnt/ro" 2>/dev/null; then
        mounts+=("$prefix/mnt/ro")
        mkdir "$prefix/mnt/ro/QM"
        mount -o remount,ro "$prefix/mnt/ro" && ln -s ../mnt/ro "$prefix/dosdevices/r:"
    fi
fi

# S: a host directory shared with the test, when a host-side test script gives one.
[ -z "${QM_SHARE_DIR:-}" ] || ln -s "$QM_SHARE_DIR" "$prefix/dosdevices/s:"

stage=$prefix/drive_c/qmtest
mkdir -p "$stage/screenshots"
cp "$program" "$build/QM-Install.exe" "$build/QM-Install.map" "$stage/"
cp -r "$build/images" "$stage/images"
[ -d "$build/x86-samples" ] && cp -r "$build/x86-samples" "$stage/x86-samples"
[ -d "$build/tools" ] && cp "$build"/tools/*.exe "$build"/tools/*.dll "$stage/" 2>/dev/null

# Ends every process of this prefix. Under emulation a Wine process now and then
# hangs past the server's end, so each step is bounded, and the last resort finds
# the prefix's processes by their environment.
end_prefix_processes() {
    timeout 20 wineserver -k 2>/dev/null
    timeout 20 wineserver -w 2>/dev/null
    # One grep over every environment: a process per /proc entry cost a second a run.
    for environ in $(grep -lzx "WINEPREFIX=$prefix" /proc/[0-9]*/environ 2>/dev/null); do
        pid=${environ#/proc/}
        kill -9 "${pid%/environ}" 2>/dev/null
    done
}
trap 'end_prefix_processes; cleanup_mounts' EXIT
trap 'exit 143' TERM INT

# A test may ask for a locale; Wine takes its ANSI code page from it (ja_JP.UTF-8: 932).
if [ -n "${QM_WINE_LOCALE:-}" ]; then
    export LC_ALL=$QM_WINE_LOCALE
fi
export WINEPREFIX=$prefix WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
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
end_prefix_processes
cleanup_mounts
mounts=()
trap - EXIT
[ -n "${QM_KEEP_PREFIX:-}" ] || rm -rf "$prefix"
exit $rc
