#!/usr/bin/env python3
"""Prints the FRAME_NAME_ line of a protection-frame name: each byte XOR 0x5A, then 0x5A."""
import sys

for name in sys.argv[1:]:
    scrambled = ",".join("0x%02X" % (ord(c) ^ 0x5A) for c in name)
    print('#define FRAME_NAME_%s "%s,0x5A"' % (name, scrambled))
