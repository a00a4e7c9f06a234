#!/bin/bash
# Keeps a Wine prefix off the host's files: Wine links each user's Desktop, Documents,
# Downloads, Music, Pictures, Videos and Templates to the host's home, so what a program
# puts there would land outside the prefix. Each link under drive_c/users that leads out
# becomes a real empty folder; then no link in the prefix may lead outside it but to a
# device (dosdevices' com and lpt ports).
# usage: seal-prefix.sh PREFIX
set -euo pipefail
prefix=$(cd "$1" && pwd -P)

inside() {
    case $1 in
    "$prefix" | "$prefix"/*) return 0 ;;
    *) return 1 ;;
    esac
}

while IFS= read -r -d '' link; do
    if ! inside "$(readlink -m "$link")"; then
        rm "$link"
        mkdir "$link"
    fi
done < <(find "$prefix/drive_c/users" -type l -print0)

status=0
while IFS= read -r -d '' link; do
    target=$(readlink -m "$link")
    if ! inside "$target" && [[ $target != /dev/* ]]; then
        echo "seal-prefix.sh: $link leads outside the prefix, to $target" >&2
        status=1
    fi
done < <(find "$prefix" -type l -print0)
exit $status
