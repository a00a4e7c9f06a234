#!/bin/bash
# Writes into DIR the samples on which the tests check the x86 branch converter's
# undoing: the bench's real images (Wine's i386 combase.dll and winver.exe, stripped),
# random bytes, and random bytes thick with call and jump opcodes, each beside NAME.x86,
# the form that xz's own encoder gives it.
# usage: x86-samples.sh DIR WINE_I386_DIR STRIP XZ PYTHON
set -euo pipefail
dir=$1 wine_dlls=$2 strip=$3 xz=$4 python=$5
mkdir -p "$dir"
# With the source's date as strip's time stamp, as bench/peer.sh strips them.
for name in combase.dll winver.exe; do
    SOURCE_DATE_EPOCH=$(stat -c %Y "$wine_dlls/$name") "$strip" -o "$dir/$name" "$wine_dlls/$name"
done
"$python" - "$dir" <<'EOF'
import random
import sys

r = random.Random(31)
with open(sys.argv[1] + "/random.bin", "wb") as f:
    f.write(bytes(r.getrandbits(8) for _ in range(1 << 18)))
# Half the bytes opcodes or near top bytes, so that opcodes passed over come close
# together in every pattern; the end holds an opcode whose operand the data cuts.
dense = bytes(r.choice(b"\xe8\xe9\x00\xff") if r.random() < 0.5 else r.getrandbits(8)
              for _ in range(1 << 18))
with open(sys.argv[1] + "/branches.bin", "wb") as f:
    f.write(dense + b"\xe8\x00\x00\x00")
EOF
for name in combase.dll winver.exe random.bin branches.bin; do
    # Only the LZMA layer undone: what is left is the converter's output.
    "$xz" --format=raw --x86 --lzma1=preset=0 -c "$dir/$name" |
        "$xz" --format=raw --lzma1=preset=0 -d -c >"$dir/$name.x86"
done
