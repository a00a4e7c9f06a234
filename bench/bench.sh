#!/bin/bash
# Prints the installer's size against its 32 KiB budget, and the median time of a
# silent install against Wine's bare process start (a program that only exits), both
# measured in the same fresh prefixes.
# usage: bash bench/bench.sh [BUILD_DIR]   (a built tree; default build)
#   QM_BENCH_RUNS  number of timed runs (default 10, at least 10 counts)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${QM_BENCH_RUNS:-10}
installer=$build/QM-Install.exe
minimal=$build/tools/qm-minimal.exe
for file in "$installer" "$minimal" "$build/images/Quellmark.dll" "$build/images/Quellmark.exe"; do
    [ -f "$file" ] || { echo "missing $file: build the tree first" >&2; exit 2; }
done

size=$(stat -c %s "$installer")
images=$(($(stat -c %s "$build/images/Quellmark.dll") + $(stat -c %s "$build/images/Quellmark.exe")))
overhead=$((size - images))
budget=$((32 * 1024))
echo "installer        $size bytes"
echo "product images   $images bytes"
echo "overhead         $overhead bytes of $budget ($((budget - overhead)) left)"

source "$root/scripts/display.sh"
bash "$root/tests/scripts/make-template.sh" "$build/wine-template"
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

now() { date +%s%N; }
# One `wine PROGRAM ARGS...` from the current directory: milliseconds in $elapsed, its
# exit code in $last_rc.
timed() {
    local start
    start=$(now)
    set +e
    timeout 300 wine "$@" >/dev/null 2>&1
    last_rc=$?
    set -e
    elapsed=$((($(now) - start) / 1000000))
}
median() {
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}

# A persistent server (and the product the install starts) must not outlive the run.
prefix=
finish() {
    [ -n "$prefix" ] || return 0
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    rm -rf "$prefix"
}
# (display.sh's own trap would stop its Xvfb: this one replaces it, so does that too.)
trap 'finish; [ -z "${qm_xvfb_pid:-}" ] || kill "$qm_xvfb_pid" 2>/dev/null' EXIT
mkdir -p "$build/prefixes"
baseline=()
install=()
failures=0
for i in $(seq 1 "$runs"); do
    prefix=$(mktemp -d "$build/prefixes/bench.XXXXXX")
    # As the test bed does: system DLLs hard-linked, everything else copied.
    (cd "$build/wine-template" && tar --exclude=./drive_c/windows/system32 -cf - .) |
        (cd "$prefix" && tar -xf -)
    cp -al "$build/wine-template/drive_c/windows/system32" "$prefix/drive_c/windows/system32"
    mkdir -p "$prefix/drive_c/bench"
    cp "$installer" "$minimal" "$prefix/drive_c/bench/"
    export WINEPREFIX=$prefix
    cd "$prefix/drive_c/bench"
    # A running server and the prefix's services up, so that neither timing pays for them.
    wineserver -p
    wine qm-minimal.exe >/dev/null 2>&1 || true

    timed qm-minimal.exe
    baseline+=("$elapsed")
    timed QM-Install.exe '/p:C:\bench\QM'
    install+=("$elapsed")
    if [ "$last_rc" -ne 0 ] || [ ! -f "$prefix/drive_c/bench/QM/Quellmark.dll" ]; then
        failures=$((failures + 1))
    fi
    printf 'run %2d: baseline %6d ms, install %6d ms (exit %d)\n' "$i" "${baseline[-1]}" \
        "${install[-1]}" "$last_rc"

    cd "$build"
    finish
    prefix=
done

base=$(printf '%s\n' "${baseline[@]}" | median)
inst=$(printf '%s\n' "${install[@]}" | median)
echo "baseline start   $base ms (median of $runs)"
echo "silent install   $inst ms (median of $runs)"
awk -v i="$inst" -v b="$base" 'BEGIN { printf "ratio            %.2f (target at most 1.50)\n", b ? i / b : 0 }'
[ "$failures" -eq 0 ] || echo "failed installs  $failures of $runs"
