#!/bin/bash
# Makes PREFIX a fresh copy of the template prefix TEMPLATE.
# usage: copy-template.sh TEMPLATE PREFIX   (PREFIX exists and is empty)
# The template's system DLLs are never written, so hard links to them are enough;
# everything else is copied so that nothing run in PREFIX can change the template.
set -euo pipefail
template=$1
prefix=$2
(cd "$template" && tar --exclude=./drive_c/windows/system32 -cf - .) | (cd "$prefix" && tar -xf -)
cp -al "$template/drive_c/windows/system32" "$prefix/drive_c/windows/system32"
