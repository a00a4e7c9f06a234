#!/bin/bash
# Size and speed side by side with an NSIS peer, on a realistic payload: a stripped
# 32-bit PE DLL of about 400 KB and a small GUI exe from Wine's i386 package, in place
# of the stand-in images, whose zero padding packs to nothing.
# The peers (bench/peer.nsi.in) do the work of our silent install and differ in how
# they start the product: through the desktop shell as the desktop's user, as ours
# does (peer-desktop); with Exec, as the installer's own user (peer); not at all, as
# our /q (peer-quiet). A fourth only puts the two files in place (peer-files).
# Prints the installers' sizes (ours packed, each image's record plain and through the
# x86 branch converter, and raw; and the peers'), our overhead (the exe less the stored
# images), our total against the files-only peer, what other coder settings give, and
# the median silent-install time of ours (/p: and /q) and of each peer, interleaved,
# each run in a fresh prefix; the ratios of the medians, each with the median of the
# rounds' own ratios ("rounds"); then where our time goes, step by step, from the log
# of every timed run (bench/steps.py). The sizes come first; the timed runs take some
# minutes. Targets are printed beside the figures, not enforced: the exit code says only
# whether the bench ran.
# usage: bash bench/peer.sh [WORK_DIR]   (default build-peer; built there)
#   QM_BENCH_RUNS  timed runs of each (default 10)
#   QM_BENCH_DLL, QM_BENCH_EXE  other payload images
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mkdir -p "${1:-$root/build-peer}" && cd "${1:-$root/build-peer}" && pwd)
runs=${QM_BENCH_RUNS:-10}
wine_dlls=/usr/lib/i386-linux-gnu/wine/i386-windows
payload=$work/payload
mkdir -p "$payload"
# strip stamps its output with the time of day, which moves the packed sizes by some
# hundred bytes from run to run; the source file's own date keeps the payload fixed.
strip_image() { SOURCE_DATE_EPOCH=$(stat -c %Y "$2") i686-w64-mingw32-strip -o "$1" "$2"; }
strip_image "$payload/Quellmark.dll" "${QM_BENCH_DLL:-$wine_dlls/combase.dll}"
strip_image "$payload/Quellmark.exe" "${QM_BENCH_EXE:-$wine_dlls/winver.exe}"

# Ours, packed and raw, on that payload.
for form in ON OFF; do
    cmake -S "$root" -B "$work/ours-$form" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DQM_COMPRESS=$form -DQM_PRODUCT_DLL="$payload/Quellmark.dll" \
        -DQM_PRODUCT_EXE="$payload/Quellmark.exe" >/dev/null
    cmake --build "$work/ours-$form" -j2 --target QM-Install qm-minimal qm-floor >"$work/ours-$form.log"
done
ours=$work/ours-ON/QM-Install.exe
# The peers: the same work, starting the product with Exec, as the desktop's user, or
# not at all; and the files only.
sed -e "s#@WORK@#$work#" -e "s#@PAYLOAD@#$payload#" "$root/bench/peer.nsi.in" >"$work/peer.nsi"
makensis -V1 "$work/peer.nsi"
makensis -V1 -DDESKTOP_USER "$work/peer.nsi"
makensis -V1 -DQUIET "$work/peer.nsi"
makensis -V1 -DFILES_ONLY "$work/peer.nsi"
peer=$work/peer.exe
peer_desktop=$work/peer-desktop.exe
peer_quiet=$work/peer-quiet.exe
peer_files=$work/peer-files.exe

size() { stat -c %s "$1"; }
dll=$(size "$payload/Quellmark.dll") exe=$(size "$payload/Quellmark.exe")
echo "payload          Quellmark.dll $dll bytes, Quellmark.exe $exe bytes"
grep -h 'stored as' "$work/ours-ON.log" | sed 's/^/ours packed       /'
cat "$work/ours-ON/size-report.txt"
echo "ours raw         $(size "$work/ours-OFF/QM-Install.exe") bytes (QM_COMPRESS=OFF)"
echo "NSIS peer        $(size "$peer") bytes ($(size "$peer_files") with the files only)"
awk -v o="$(size "$ours")" -v p="$(size "$peer_files")" -v s="$(size "$peer")" 'BEGIN {
    printf "ours total       %d bytes\n", o
    printf "ours / files-only peer  %.3f (target at most 0.73; %.3f of the same-work peer)\n", o / p, o / s }'
# What other coder settings give on the library, plain and through the x86 branch
# converter, for the record: raw streams, which a record holds with 13 bytes more.
for options in preset=9e preset=9e,lc=0,lp=2,pb=2 preset=9e,lc=4,lp=0,pb=2; do
    printf 'xz %-25s %d bytes, %d with --x86\n' "$options" \
        "$(xz --format=raw --lzma1=$options -c "$payload/Quellmark.dll" | wc -c)" \
        "$(xz --format=raw --x86 --lzma1=$options -c "$payload/Quellmark.dll" | wc -c)"
done
if command -v lzmp >/dev/null; then
    printf 'LZMA SDK encoder -9            %d bytes\n' "$(lzmp -9 -c <"$payload/Quellmark.dll" | wc -c)"
fi

# Interleaved, the order rotated every run; each install in a fresh prefix whose
# desktop and COM service are up, as in any Windows session (bench/floor.c /com).
# Ours runs as shipped, with a log (the /p: runs' logs give the step table): /p:, which
# starts the product through the desktop shell, and /q, which starts nothing. Beside
# them the same-work peer starting the product as the desktop's user, with Exec, or
# not at all, and the files-only peer. After each start, qm-parent tells who started
# the product: a shell route that fell back to a direct start is counted as failed.
build=$work/ours-ON
source "$root/bench/lib.sh"
minimal=$build/tools/qm-minimal.exe
floor=$build/tools/qm-floor.exe
cmake --build "$build" --target qm-parent >"$work/qm-parent.log"
parent=$build/tools/qm-parent.exe
kinds=(ours ours-quiet peer-desktop peer peer-quiet peer-files)
declare -A ms round_ms
failures=0
route_failures=0
logs=$work/logs
rm -rf "$logs"
mkdir -p "$logs"
time_kind() {
    new_prefix "$ours" "$peer" "$peer_desktop" "$peer_quiet" "$peer_files" "$minimal" "$floor" \
        "$parent"
    wine qm-floor.exe /com >/dev/null 2>&1 || true
    case $1 in
    ours) timed QM-Install.exe '/p:C:\bench\QM' '/l:C:\bench\qm.log' ;;
    ours-quiet) timed QM-Install.exe /q '/p:C:\bench\QM' '/l:C:\bench\qm.log' ;;
    peer-desktop) timed peer-desktop.exe /S '/D=C:\bench\QM' ;;
    peer) timed peer.exe /S '/D=C:\bench\QM' ;;
    peer-quiet) timed peer-quiet.exe /S '/D=C:\bench\QM' ;;
    peer-files) timed peer-files.exe /S '/D=C:\bench\QM' ;;
    esac
    ms[$1]+="$elapsed "
    round_ms[$1,$i]=$elapsed
    last=$elapsed
    cmp -s "$prefix/drive_c/bench/QM/Quellmark.dll" "$payload/Quellmark.dll" || failures=$((failures + 1))
    case $1 in
    ours | peer-desktop | peer)
        # Explorer quits a few seconds after its last caller: ask at once.
        started_by=$(wine qm-parent.exe Quellmark.exe 2>/dev/null | tr -d '\r' || true)
        last+=" ms, product started by ${started_by:-?}"
        if [ "$1" != peer ] && [ "$started_by" != explorer.exe ]; then
            route_failures=$((route_failures + 1))
        fi
        ;;
    *) last+=" ms" ;;
    esac
    if [ "$1" = ours ]; then
        # The bench's clock gives the process start and end that the log cannot.
        { echo "$started $ended"; cat qm.log; } >"$logs/run-$i.log" 2>/dev/null || true
    fi
    cd "$work"
    finish
}
for i in $(seq 1 "$runs"); do
    line="run $i:"
    for k in "${!kinds[@]}"; do
        kind=${kinds[$(((i + k) % ${#kinds[@]}))]}
        time_kind "$kind"
        line+=" $kind $last,"
    done
    echo "${line%,}"
done
median_of() { printf '%s\n' ${ms[$1]} | median; }
echo "silent install, medians of $runs:"
for kind in "${kinds[@]}"; do
    printf '  %-12s %6d ms\n' "$kind" "$(median_of "$kind")"
done
# A shared machine's load drifts more between rounds than within one: the median
# of each round's own ratio stands beside the ratio of the medians.
ratio() {
    local i rounds
    rounds=$(for i in $(seq 1 "$runs"); do
        awk -v a="${round_ms[$1,$i]}" -v b="${round_ms[$2,$i]}" 'BEGIN { print a / b }'
    done | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
    awk -v a="$(median_of "$1")" -v b="$(median_of "$2")" -v r="$rounds" \
        'BEGIN { printf "%.2f (rounds %.2f)", a / b, r }'
}
echo "ours /p: / peer starting it as the desktop user  $(ratio ours peer-desktop), target at most 1.00"
echo "ours /p: / peer starting it with Exec            $(ratio ours peer)"
echo "ours /q  / peer starting nothing                 $(ratio ours-quiet peer-quiet), target at most 1.00"
echo "ours /p: / peer writing files only               $(ratio ours peer-files)"
[ "$failures" -eq 0 ] || echo "failed installs  $failures of $((${#kinds[@]} * runs))"
[ "$route_failures" -eq 0 ] ||
    echo "product not started by the desktop shell  $route_failures of $((2 * runs))"
python3 "$root/bench/steps.py" "$logs"/run-*.log
