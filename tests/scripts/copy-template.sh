#!/bin/bash
# Makes PREFIX a fresh copy of the template prefix TEMPLATE.
# usage: copy-template.sh TEMPLATE PREFIX   (PREFIX exists and is empty)
# The template's system DLLs are never written, so hard links to them are enough;
# everything else is copied so that nothing run in PREFIX can change the template.
set -euo pipefail
template=$1
prefix=$2
# A 64-bit template has a second system directory, syswow64, for its 32-bit side.
(cd "$template" && tar --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/syswow64 \
    -cf - .) | (cd "$prefix" && tar -xf -)
for dir in system32 syswow64; do
    if [ -d "$template/drive_c/windows/$dir" ]; then
        cp -al "$template/drive_c/windows/$dir" "$prefix/drive_c/windows/$dir"
    fi
done
