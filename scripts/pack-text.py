#!/usr/bin/env python3
"""Packs a 7-bit text into the installer's compact form and writes it as C++.

Form: a byte below 0x80 is itself; a byte 0x80 | (length - 3) << 4 | high four
bits of (distance - 1), followed by the low eight bits, copies `length` (3 to 10)
characters from `distance` (1 to 4096) characters back. Lines end in CR LF.

usage: pack-text.py TEXT_FILE NAME OUTPUT_CPP OUTPUT_H
"""
import sys

MIN, MAX, WINDOW = 3, 10, 4096


def pack(text):
    data = text.encode("ascii")
    if any(b >= 0x80 for b in data):
        raise SystemExit("text must be 7-bit ASCII")
    n = len(data)
    # Optimal parse: cost[i] is the fewest bytes that code data[i:].
    cost = [0] * (n + 1)
    choice = [None] * (n + 1)
    positions = {}
    matches = [[] for _ in range(n)]
    for i in range(n):
        key = data[i:i + MIN]
        for j in reversed(positions.get(key, [])):
            if i - j > WINDOW:
                break
            length = MIN
            while length < MAX and i + length < n and data[j + length] == data[i + length]:
                length += 1
            matches[i].append((length, i - j))
        positions.setdefault(key, []).append(i)
    for i in range(n - 1, -1, -1):
        best, pick = cost[i + 1] + 1, None
        for length, distance in matches[i]:
            for l in range(MIN, length + 1):
                if cost[i + l] + 2 < best:
                    best, pick = cost[i + l] + 2, (l, distance)
        cost[i], choice[i] = best, pick
    out = bytearray()
    i = 0
    while i < n:
        if choice[i] is None:
            out.append(data[i])
            i += 1
        else:
            length, distance = choice[i]
            code = distance - 1
            out += bytes([0x80 | (length - MIN) << 4 | code >> 8, code & 0xFF])
            i += length
    return bytes(out), n


def fnv1a(data):
    h = 0x811C9DC5
    for b in data:
        h = ((h ^ b) * 0x01000193) & 0xFFFFFFFF
    return h


def main():
    source, name, out_cpp, out_h = sys.argv[1:5]
    with open(source, "r", encoding="ascii", newline="") as f:
        text = f.read().replace("\r\n", "\n").replace("\n", "\r\n")
    packed, length = pack(text)
    cap = name[0].upper() + name[1:]
    with open(out_h, "w", newline="\n") as f:
        f.write(f"// Generated from {source.split('/')[-1]}; do not edit.\n#pragma once\n\n")
        f.write(f"constexpr unsigned long k{cap}Length = {length};\n")
        f.write(f"constexpr unsigned long k{cap}PackedSize = {len(packed)};\n")
        f.write(f"constexpr unsigned long k{cap}Hash = 0x{fnv1a(text.encode('ascii')):08X}u;\n")
        f.write(f"extern const unsigned char packed{cap}[k{cap}PackedSize];\n")
    with open(out_cpp, "w", newline="\n") as f:
        f.write(f"// Generated from {source.split('/')[-1]}; do not edit.\n")
        f.write(f'#include "{out_h.split("/")[-1]}"\n\n')
        f.write(f"const unsigned char packed{cap}[k{cap}PackedSize] = {{\n")
        for k in range(0, len(packed), 16):
            f.write("    " + ",".join(str(b) for b in packed[k:k + 16]) + ",\n")
        f.write("};\n")


if __name__ == "__main__":
    main()
