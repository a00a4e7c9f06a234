#!/usr/bin/env python3
"""Writes the 32x32, 16-colour icons of the installer and the stand-in product.

Each icon is a filled disc in its own colour with a letter-like bar, so the
shortcuts and dialogs show which file and index an icon came from.
"""
import struct
import sys

PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def icon(colour, mark, size=32):
    pixels = []
    mask = []
    for y in range(size):
        row = []
        mask_row = []
        for x in range(size):
            half = size / 2 - 0.5
            dx, dy = x - half, y - half
            inside = dx * dx + dy * dy <= half * half
            scale = size / 32
            bar = mark * scale <= x < (mark + 4) * scale and 8 * scale <= y < 24 * scale
            row.append(15 if (inside and bar) else (colour if inside else 0))
            mask_row.append(0 if inside else 1)
        pixels.append(row)
        mask.append(mask_row)
    xor = b"".join(bytes((r[i] << 4) | r[i + 1] for i in range(0, size, 2)) for r in reversed(pixels))
    # Mask rows are padded to whole 32-bit words.
    row_bytes = (size // 8 + 3) // 4 * 4
    andb = b"".join(
        b"".join(bytes([sum(r[b * 8 + i] << (7 - i) for i in range(8)) if b < size // 8 else 0])
                 for b in range(row_bytes))
        for r in reversed(mask))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(andb), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    image = header + palette + xor + andb
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4,
                                                            len(image), 22)
    return directory + image


# The installer's own icon (group 1) is 16 by 16 to spare the installer's size; the
# dialogs' icon (group 2, also the uninstall shortcut's) is 32 by 32.
ICONS = {
    "resources/installer.ico": (12, 6, 16),
    "resources/uninstall.ico": (9, 14, 32),
    "product/launcher.ico": (10, 10, 32),
    "product/library0.ico": (14, 6, 32),
    "product/library1.ico": (13, 12, 32),
    "product/library2.ico": (11, 20, 32),
}

if __name__ == "__main__":
    root = sys.argv[1] if len(sys.argv) > 1 else "."
    for name, (colour, mark, size) in ICONS.items():
        with open(f"{root}/{name}", "wb") as f:
            f.write(icon(colour, mark, size))
