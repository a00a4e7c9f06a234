#!/bin/bash
# Size and speed side by side with an NSIS peer, on a realistic payload: a stripped
# 32-bit PE DLL of about 400 KB and a small GUI exe from Wine's i386 package, in place
# of the stand-in images, whose zero padding packs to nothing.
# The peer (bench/peer.nsi.in) does the work of our silent install; a second one only
# puts the two files in place.
# Prints the installers' sizes (ours packed, each image's record plain and through the
# x86 branch converter, and raw; and the peer's), our overhead (the exe less the stored
# images), our total against the peer, what other coder settings give, and the median
# silent-install time of ours and of both peers, interleaved, each run in a fresh
# prefix; then where our time goes, step by step, from the log of every timed run
# (bench/steps.py). The sizes come first; the timed runs take some minutes.
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
# The peers: the same work, and the files only.
sed -e "s#@WORK@#$work#" -e "s#@PAYLOAD@#$payload#" "$root/bench/peer.nsi.in" >"$work/peer.nsi"
makensis -V1 "$work/peer.nsi"
makensis -V1 -DFILES_ONLY "$work/peer.nsi"
peer=$work/peer.exe
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
    printf "ours / peer      %.3f (target at most 0.73; %.3f of the same-work peer)\n", o / p, o / s }'
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
# Ours runs as shipped, with a log for the step table; it and the same-work peer also
# start the product, as every silent install does.
build=$work/ours-ON
source "$root/bench/lib.sh"
minimal=$build/tools/qm-minimal.exe
floor=$build/tools/qm-floor.exe
kinds=(ours peer peer-files)
declare -A ms
failures=0
logs=$work/logs
rm -rf "$logs"
mkdir -p "$logs"
time_kind() {
    new_prefix "$ours" "$peer" "$peer_files" "$minimal" "$floor"
    wine qm-floor.exe /com >/dev/null 2>&1 || true
    case $1 in
    ours) timed QM-Install.exe '/p:C:\bench\QM' '/l:C:\bench\qm.log' ;;
    peer) timed peer.exe /S '/D=C:\bench\QM' ;;
    peer-files) timed peer-files.exe /S '/D=C:\bench\QM' ;;
    esac
    ms[$1]+="$elapsed "
    last=$elapsed
    cmp -s "$prefix/drive_c/bench/QM/Quellmark.dll" "$payload/Quellmark.dll" || failures=$((failures + 1))
    if [ "$1" = ours ]; then
        # The bench's clock gives the process start and end that the log cannot.
        { echo "$started $ended"; cat qm.log; } >"$logs/run-$i.log" 2>/dev/null || true
    fi
    cd "$work"
    finish
}
for i in $(seq 1 "$runs"); do
    line="run $i:"
    for k in 0 1 2; do
        kind=${kinds[$(((i + k) % 3))]}
        time_kind "$kind"
        line+=" $kind $last ms,"
    done
    echo "${line%,}"
done
median_of() { printf '%s\n' ${ms[$1]} | median; }
ours_median=$(median_of ours)
echo "silent install, medians of $runs:"
for kind in "${kinds[@]}"; do
    printf '  %-10s %6d ms\n' "$kind" "$(median_of "$kind")"
done
awk -v o="$ours_median" -v p="$(median_of peer)" -v f="$(median_of peer-files)" 'BEGIN {
    printf "ours / peer doing the same work  %.2f (target at most 1.00)\n", o / p
    printf "ours / peer writing files only   %.2f\n", o / f }'
[ "$failures" -eq 0 ] || echo "failed installs  $failures of $((3 * runs))"
python3 "$root/bench/steps.py" "$logs"/run-*.log
