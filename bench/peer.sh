#!/bin/bash
# Size and speed side by side with an NSIS peer, on a realistic payload: a stripped
# 32-bit PE DLL of about 400 KB and a small GUI exe from Wine's i386 package, in place
# of the stand-in images, whose zero padding packs to nothing.
# Prints the installers' sizes (ours packed and raw, and the peer's), our overhead
# (the exe less the stored images), what other coder settings give, and the median
# silent-install time of ours and of the peer, interleaved, each run in a fresh prefix.
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
i686-w64-mingw32-strip -o "$payload/Quellmark.dll" "${QM_BENCH_DLL:-$wine_dlls/combase.dll}"
i686-w64-mingw32-strip -o "$payload/Quellmark.exe" "${QM_BENCH_EXE:-$wine_dlls/winver.exe}"

# Ours, packed and raw, on that payload.
for form in ON OFF; do
    cmake -S "$root" -B "$work/ours-$form" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DQM_COMPRESS=$form -DQM_PRODUCT_DLL="$payload/Quellmark.dll" \
        -DQM_PRODUCT_EXE="$payload/Quellmark.exe" >/dev/null
    cmake --build "$work/ours-$form" -j2 --target QM-Install qm-minimal >"$work/ours-$form.log"
done
ours=$work/ours-ON/QM-Install.exe
# The peer.
sed -e "s#@OUT@#$work/peer.exe#" -e "s#@PAYLOAD@#$payload#" "$root/bench/peer.nsi.in" >"$work/peer.nsi"
makensis -V1 "$work/peer.nsi"
peer=$work/peer.exe

size() { stat -c %s "$1"; }
dll=$(size "$payload/Quellmark.dll") exe=$(size "$payload/Quellmark.exe")
echo "payload          Quellmark.dll $dll bytes, Quellmark.exe $exe bytes"
grep -h 'stored as' "$work/ours-ON.log" | sed 's/^/ours packed       /'
cat "$work/ours-ON/size-report.txt"
echo "ours raw         $(size "$work/ours-OFF/QM-Install.exe") bytes (QM_COMPRESS=OFF)"
echo "NSIS peer        $(size "$peer") bytes"
awk -v o="$(size "$ours")" -v p="$(size "$peer")" \
    'BEGIN { printf "ours / peer      %.3f (target at most 0.85)\n", o / p }'
# What other coder settings give on the library, for the record.
for options in preset=9e preset=9e,lc=0,lp=2,pb=2 preset=9e,lc=4,lp=0,pb=2; do
    printf 'xz %-25s %d bytes\n' "$options" \
        "$(xz --format=lzma --lzma1=$options -c "$payload/Quellmark.dll" | wc -c)"
done
if command -v lzmp >/dev/null; then
    printf 'LZMA SDK encoder -9            %d bytes\n' "$(lzmp -9 -c <"$payload/Quellmark.dll" | wc -c)"
fi

# Interleaved, the order swapped every run; each install in a fresh, warm prefix.
build=$work/ours-ON
source "$root/bench/lib.sh"
minimal=$build/tools/qm-minimal.exe
ours_ms=()
peer_ms=()
failures=0
time_ours() {
    new_prefix "$ours" "$minimal"
    timed QM-Install.exe '/p:C:\bench\QM'
    ours_ms+=("$elapsed")
    cmp -s "$prefix/drive_c/bench/QM/Quellmark.dll" "$payload/Quellmark.dll" || failures=$((failures + 1))
    cd "$work"
    finish
}
time_peer() {
    new_prefix "$peer" "$minimal"
    timed peer.exe /S '/D=C:\bench\QM'
    peer_ms+=("$elapsed")
    cmp -s "$prefix/drive_c/bench/QM/Quellmark.dll" "$payload/Quellmark.dll" || failures=$((failures + 1))
    cd "$work"
    finish
}
for i in $(seq 1 "$runs"); do
    if [ $((i % 2)) -eq 1 ]; then time_ours; time_peer; else time_peer; time_ours; fi
    printf 'run %2d: ours %5d ms, peer %5d ms\n' "$i" "${ours_ms[-1]}" "${peer_ms[-1]}"
done
o=$(printf '%s\n' "${ours_ms[@]}" | median)
p=$(printf '%s\n' "${peer_ms[@]}" | median)
echo "silent install   ours $o ms, peer $p ms (medians of $runs)"
awk -v o="$o" -v p="$p" 'BEGIN { printf "ours / peer      %.2f (target at most 1.00)\n", o / p }'
[ "$failures" -eq 0 ] || echo "failed installs  $failures of $((2 * runs))"
