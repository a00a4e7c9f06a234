#!/bin/bash
# Creates a template Wine prefix that tests start from a copy of: 32-bit, or with
# win64 a 64-bit one where our 32-bit programs run under WOW64; no Z: drive and no
# menu builder, and the user's folders real ones rather than links to the host's home
# (tests stay off the host's files), and no debugger that would pop up
# over a process that is meant to crash. The menu builder's file goes too: Wine's
# shell links start it after every save, and even disabled it costs a process start
# each time.
set -euo pipefail
# usage: make-template.sh TEMPLATE [win32|win64]
template=$1
arch=${2:-win32}
stamp=$template/.qm-template-3
[ -f "$stamp" ] && exit 0

rm -rf "$template"
export WINEPREFIX=$template WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wineboot -i >/dev/null 2>&1 || true
wineserver -w
cat >"$template/drive_c/qm-template.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"winemenubuilder.exe"=""

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Debugger"=""
"Auto"="0"
REG
# A 32-bit process under WOW64 reads its debugger from the 32-bit view.
if [ "$arch" = win64 ]; then
    cat >>"$template/drive_c/qm-template.reg" <<'REG'

[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Debugger"=""
"Auto"="0"
REG
fi
wine regedit /S 'C:\qm-template.reg' >/dev/null 2>&1
wineserver -w
rm -f "$template/drive_c/qm-template.reg" "$template/dosdevices/z:" \
    "$template/drive_c/windows/system32/winemenubuilder.exe" \
    "$template/drive_c/windows/syswow64/winemenubuilder.exe"
bash "$(dirname "$0")/../../scripts/seal-prefix.sh" "$template"
touch "$stamp"
