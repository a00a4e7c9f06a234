#!/bin/bash
# Creates the template Wine prefix that every test starts from a copy of:
# 32-bit, no Z: drive and no menu builder (tests stay off the host's files), and no
# debugger that would pop up over a process that is meant to crash. The menu builder's
# file goes too: Wine's shell links start it after every save, and even disabled it
# costs a process start each time.
set -euo pipefail
template=$1
stamp=$template/.qm-template-2
[ -f "$stamp" ] && exit 0

rm -rf "$template"
export WINEPREFIX=$template WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
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
wine regedit /S 'C:\qm-template.reg' >/dev/null 2>&1
wineserver -w
rm -f "$template/drive_c/qm-template.reg" "$template/dosdevices/z:" \
    "$template/drive_c/windows/system32/winemenubuilder.exe"
touch "$stamp"
