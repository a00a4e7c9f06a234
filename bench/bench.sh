#!/bin/bash
# Prints the installer's size and its overhead (at most 44 KiB; bench/peer.sh sets the
# total against its peer's), and the median time of a silent install against Wine's
# bare process start (a program that only exits), both measured in the same fresh
# prefixes. Also prints, from the same prefixes, the floor
# that no silent install can go below (bench/floor.c) and the install in a prefix
# whose desktop has not yet been started.
# usage: bash bench/bench.sh [BUILD_DIR]   (a built tree; default build)
#   QM_BENCH_RUNS  number of timed runs (default 10, at least 10 counts)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${QM_BENCH_RUNS:-10}
installer=$build/QM-Install.exe
minimal=$build/tools/qm-minimal.exe
floor=$build/tools/qm-floor.exe
for file in "$installer" "$minimal" "$floor" "$build/size-report.txt"; do
    [ -f "$file" ] || { echo "missing $file: build the tree first" >&2; exit 2; }
done

# Size, stored images and overhead (the size less the stored images), as the build wrote them.
cat "$build/size-report.txt"

source "$root/bench/lib.sh"
installed() {
    [ "$last_rc" -eq 0 ] && [ -f "$prefix/drive_c/bench/QM/Quellmark.dll" ] ||
        failures=$((failures + 1))
}
baseline=()
install=()
imports=()
com=()
floors=()
cold=()
failures=0
for i in $(seq 1 "$runs"); do
    # Cold: the install is the prefix's first program with a window, so it also waits
    # for Wine to start the desktop (explorer.exe) and the COM service (rpcss.exe).
    new_prefix "$installer" "$minimal" "$floor"
    timed QM-Install.exe '/p:C:\bench\QM'
    cold+=("$elapsed")
    installed
    cd "$build"
    finish

    # Warm: desktop and COM service already up, as in any Windows session.
    new_prefix "$installer" "$minimal" "$floor"
    wine qm-floor.exe /com >/dev/null 2>&1 || true
    timed qm-minimal.exe
    baseline+=("$elapsed")
    timed qm-floor.exe
    imports+=("$elapsed")
    timed qm-floor.exe /com
    com+=("$elapsed")
    timed QM-Install.exe '/p:C:\bench\QM'
    install+=("$elapsed")
    installed
    # The floor starts the installed product again, so the running one must go first.
    wine taskkill /f /im Quellmark.exe >/dev/null 2>&1 || true
    timed qm-floor.exe 'C:\bench\QM'
    floors+=("$elapsed")
    printf 'run %2d: baseline %4d, imports %4d, +COM %4d, +product %4d, install %4d, cold %4d ms\n' \
        "$i" "${baseline[-1]}" "${imports[-1]}" "${com[-1]}" "${floors[-1]}" "${install[-1]}" \
        "${cold[-1]}"
    cd "$build"
    finish
done

base=$(printf '%s\n' "${baseline[@]}" | median)
inst=$(printf '%s\n' "${install[@]}" | median)
low=$(printf '%s\n' "${floors[@]}" | median)
echo "baseline start   $base ms (median of $runs)"
echo "silent install   $inst ms (median of $runs)"
awk -v i="$inst" -v b="$base" 'BEGIN { printf "ratio            %.2f (target at most 1.50)\n", b ? i / b : 0 }'
# What the platform work alone costs, step by step: no installer can go below it.
# usage: step LABEL WHAT MS...
step() {
    local label=$1 what=$2 ms
    shift 2
    ms=$(printf '%s\n' "$@" | median)
    awk -v l="$label" -v m="$ms" -v b="$base" -v w="$what" \
        'BEGIN { printf "%-16s %d ms, %.2f times the baseline: %s\n", l, m, b ? m / b : 0, w }'
}
step "floor: imports" "a program with the installer's DLLs" "${imports[@]}"
step "floor: +COM" "and COM entered once" "${com[@]}"
step "floor" "and the product started with WinExec" "${floors[@]}"
awk -v i="$inst" -v f="$low" 'BEGIN { printf "install - floor  %d ms (%.2f times the floor)\n", i - f, f ? i / f : 0 }'
step "cold install" "the prefix's desktop and COM service not yet started" "${cold[@]}"
[ "$failures" -eq 0 ] || echo "failed installs  $failures of $((2 * runs))"
