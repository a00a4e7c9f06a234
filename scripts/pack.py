#!/usr/bin/env python3
"""Packs a product image or the agreement text into the installer's record form.

Record (all numbers little-endian; the map is also at the top of src/payload/unpack.h):
    0   4  length of the unpacked data in bytes; bit 31 set: the stream holds the
           data as x86 branch conversion left it (xz's --x86), to be undone
    4   4  CRC-32 of the unpacked data (the common one, as zlib computes it)
    8   5  LZMA properties: (pb * 5 + lp) * 9 + lc, then the dictionary size
   13      LZMA stream, closed by its end marker
With --raw the data itself follows the CRC, for comparing against the packed form.

The stream comes from xz at its strongest preset; lc, lp and pb are tried in turn,
and the smallest result wins. lc + lp stays at most 4, so that the installer's fixed
probability table always fits. An image is packed both as it is and through xz's x86
branch converter (the text never is); the length and the CRC-32 are those of the
image as it is.

usage: pack.py [--raw | --x86] image INPUT RECORD HEADER NAME
           writes the record, and HEADER with the constant k<NAME>Length;
           --x86 keeps the converted form even where it is larger (for tests)
       pack.py [--raw] text INPUT NAME OUTPUT_CPP OUTPUT_H [MESSAGES]
           the text with CR LF line ends, as a C++ array packed<NAME>; OUTPUT_H also
           holds k<NAME>Length, k<NAME>PackedSize and k<NAME>Hash (FNV-1a, for tests)
           of the text. With MESSAGES, each message follows the text behind a NUL, and
           ends with one; OUTPUT_H then holds its offset kText<Message> and the
           whole record's length k<NAME>RecordLength, and each message's text as
           kPlain<Message>, for checks made while compiling.

MESSAGES holds "@<Message>" lines, each followed by its message's lines, which are
joined with CR LF (an empty last line gives a message that ends with CR LF). Lines
starting with "#" before the first message are comments.
"""
import struct
import subprocess
import sys
import zlib

MAX_LITERAL_BITS = 4
X86_CONVERTED = 0x80000000


def xz(arguments, data):
    return subprocess.run(["xz"] + arguments + ["-c"], input=data, stdout=subprocess.PIPE,
                          check=True).stdout


def squeeze(data, forms):
    """{form: (stream, settings)}: the smallest LZMA stream for `data` in each form,
    "plain" (the data as it is) and "x86" (through xz's x86 branch converter)."""
    best = {}
    for pb in range(0, 3):
        for lp in range(0, 3):
            for lc in range(0, MAX_LITERAL_BITS - lp + 1):
                options = f"preset=9e,lc={lc},lp={lp},pb={pb},nice=273"
                alone = xz(["--format=lzma", "--lzma1=" + options], data)
                # The .lzma header's eight-byte size field says "unknown": the record's
                # own length replaces it. A raw stream has no header; its properties
                # are those of the same settings.
                streams = {"plain": alone[:5] + alone[13:]}
                if "x86" in forms:
                    streams["x86"] = alone[:5] + xz(
                        ["--format=raw", "--x86", "--lzma1=" + options], data)
                for form, stream in streams.items():
                    if form not in best or len(stream) < len(best[form][0]):
                        best[form] = (stream, options)
    return best


def record(data, raw, forms=("plain",), force_x86=False):
    """The record of `data`, and a note of the form and settings it holds."""
    crc = zlib.crc32(data) & 0xFFFFFFFF
    if raw:
        return struct.pack("<II", len(data), crc) + data, "raw"
    best = squeeze(data, forms)
    plain, x86 = best["plain"], best.get("x86")
    # Plain on a tie: the installer then has nothing to undo.
    if x86 is not None and (force_x86 or len(x86[0]) < len(plain[0])):
        note = f"x86, {x86[1]}; plain {len(plain[0]) + 8} with {plain[1]}"
        return struct.pack("<II", len(data) | X86_CONVERTED, crc) + x86[0], note
    note = plain[1]
    if x86 is not None:
        note += f"; x86 {len(x86[0]) + 8} with {x86[1]}"
    return struct.pack("<II", len(data), crc) + plain[0], note


def report(name, data, packed, note):
    print(f"{name}: {len(data)} bytes stored as {len(packed)} ({note})")


def fnv1a(data):
    h = 0x811C9DC5
    for b in data:
        h = ((h ^ b) * 0x01000193) & 0xFFFFFFFF
    return h


def pack_image(raw, force_x86, source, out_record, out_header, name):
    with open(source, "rb") as f:
        data = f.read()
    if len(data) & X86_CONVERTED:
        raise SystemExit(f"{source}: too large for a record")
    packed, note = record(data, raw, ("plain", "x86"), force_x86)
    with open(out_record, "wb") as f:
        f.write(packed)
    with open(out_header, "w", newline="\n") as f:
        f.write(f"// Generated from {source.split('/')[-1]}; do not edit.\n#pragma once\n\n")
        f.write(f"constexpr unsigned long k{name}Length = {len(data)};\n")
    report(name, data, packed, note)


def read_messages(source):
    """[(name, bytes)] from a MESSAGES file."""
    with open(source, "r", encoding="ascii", newline="") as f:
        lines = f.read().replace("\r\n", "\n").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    messages = []
    for line in lines:
        if line.startswith("@"):
            messages.append((line[1:], []))
        elif messages:
            messages[-1][1].append(line)
        elif not line.startswith("#"):
            raise SystemExit(f"{source}: text before the first message")
    return [(name, "\r\n".join(body).encode("ascii")) for name, body in messages]


def c_string(data):
    """`data` as a C++ string literal."""
    escapes = {ord("\\"): "\\\\", ord('"'): '\\"', ord("\r"): "\\r", ord("\n"): "\\n"}
    return '"' + "".join(escapes.get(b, chr(b)) for b in data) + '"'


def pack_text(raw, source, name, out_cpp, out_h, messages_source=None):
    with open(source, "r", encoding="ascii", newline="") as f:
        text = f.read().replace("\r\n", "\n").replace("\n", "\r\n").encode("ascii")
    data = text
    offsets = []
    if messages_source is not None:
        data += b"\0"
        for message, body in read_messages(messages_source):
            if b"\0" in body:
                raise SystemExit(f"{messages_source}: NUL in {message}")
            offsets.append((message, len(data)))
            data += body + b"\0"
    packed, note = record(data, raw)
    with open(out_h, "w", newline="\n") as f:
        f.write(f"// Generated from {source.split('/')[-1]}; do not edit.\n#pragma once\n\n")
        f.write(f"constexpr unsigned long k{name}Length = {len(text)};\n")
        f.write(f"constexpr unsigned long k{name}PackedSize = {len(packed)};\n")
        f.write(f"constexpr unsigned long k{name}Hash = 0x{fnv1a(text):08X}u;\n")
        if messages_source is not None:
            f.write(f"constexpr unsigned long k{name}RecordLength = {len(data)};\n")
            for message, offset in offsets:
                f.write(f"constexpr unsigned long kText{message} = {offset};\n")
            # The texts themselves, for checks made while compiling; code that used one
            # at run time would carry it unpacked.
            for message, body in read_messages(messages_source):
                f.write(f"constexpr char kPlain{message}[] = {c_string(body)};\n")
        f.write(f"extern const unsigned char packed{name}[k{name}PackedSize];\n")
    with open(out_cpp, "w", newline="\n") as f:
        f.write(f"// Generated from {source.split('/')[-1]}; do not edit.\n")
        f.write(f'#include "{out_h.split("/")[-1]}"\n\n')
        f.write(f"const unsigned char packed{name}[k{name}PackedSize] = {{\n")
        for k in range(0, len(packed), 16):
            f.write("    " + ",".join(str(b) for b in packed[k:k + 16]) + ",\n")
        f.write("};\n")
    report(name, data, packed, note)


def main():
    args = sys.argv[1:]
    raw = bool(args) and args[0] == "--raw"
    force_x86 = bool(args) and args[0] == "--x86"
    if raw or force_x86:
        args = args[1:]
    if len(args) == 5 and args[0] == "image":
        pack_image(raw, force_x86, *args[1:])
    elif len(args) in (5, 6) and args[0] == "text" and not force_x86:
        pack_text(raw, *args[1:])
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main()
