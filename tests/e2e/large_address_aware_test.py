#!/usr/bin/env python3
"""Fails unless the Windows executable is marked large-address-aware: a
32-bit program without the mark is kept below 2 GB even on 64-bit Windows.

    large_address_aware_test.py PROGRAM.exe
"""
import struct
import sys

IMAGE_FILE_LARGE_ADDRESS_AWARE = 0x0020


def main():
    with open(sys.argv[1], "rb") as f:
        head = f.read(4096)
    if head[:2] != b"MZ":
        sys.exit(f"{sys.argv[1]} is not a Windows executable")
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    if head[pe:pe + 4] != b"PE\0\0":
        sys.exit(f"{sys.argv[1]} has no PE header")
    # The COFF header follows the signature; Characteristics is its last field.
    characteristics = struct.unpack_from("<H", head, pe + 4 + 18)[0]
    if not characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE:
        sys.exit(f"{sys.argv[1]} is not large-address-aware "
                 f"(characteristics 0x{characteristics:04x})")
    print(f"large-address-aware (characteristics 0x{characteristics:04x})")


if __name__ == "__main__":
    main()
