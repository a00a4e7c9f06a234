#!/bin/bash
# Builds the installer and runs it under Wine, in a prefix kept inside the build folder,
# from C:\qm; then prints what it installed. Arguments go to the installer unchanged;
# none means a silent install into C:\Program Files\Quellmark.
#   QM_BUILD_DIR  build folder (default: build)
#   QM_SKIP_DEPS  set: do not check the installed packages first
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-build}
[[ $build = /* ]] || build=$root/$build

[ -n "${QM_SKIP_DEPS:-}" ] || bash "$root/scripts/deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target QM-Install qm-summary qm-run

if [ $# -eq 0 ]; then
    set -- '/p:C:\Program Files\Quellmark'
fi

source "$root/scripts/display.sh"
prefix=$build/wine-run
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ ! -f "$prefix/system.reg" ]; then
    echo "creating the Wine prefix $prefix"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
fi
# No Z: drive and no user folders linked to the host's home: the installer sees only
# the prefix, not the host's files.
rm -f "$prefix/dosdevices/z:"
bash "$root/scripts/seal-prefix.sh" "$prefix"
stage=$prefix/drive_c/qm
mkdir -p "$stage"
cp "$build/QM-Install.exe" "$build/tools/qm-summary.exe" "$build/tools/qm-run.exe" "$stage/"
# The product keys exist, as after an earlier install, so that AppPath is written.
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quellmark]\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Quellmark]\r\n' \
    >"$stage/keys.reg"
cd "$stage"
wine regedit /S 'C:\qm\keys.reg' >/dev/null 2>&1
rm -f keys.reg

# The arguments reach the installer as typed, joined by blanks: qm-run starts it with
# exactly that command line, where `wine` would re-quote each argument.
export QM_COMMAND="QM-Install.exe $*"
echo "running: $QM_COMMAND"
# Nobody sees a private X server: there qm-run prints and answers the installer's
# message boxes, and a dialog that waits for a user is cut off.
limit=()
if [ -n "${qm_xvfb_pid:-}" ]; then
    export QM_PRESS_OK=1
    limit=(timeout 300)
fi
set +e
"${limit[@]}" wine qm-run.exe
rc=$?
set -e
[ $rc -ne 124 ] || [ ${#limit[@]} -eq 0 ] ||
    echo "the installer did not end within 300 s: a dialog is waiting on the private display"
echo
wine qm-summary.exe "$@" 2>/dev/null | tr -d '\r' || true

# The installer started the product; it must not outlive this run.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
exit $rc
