#!/usr/bin/env python3
"""Computes, with Python's zlib and hashlib alone, the fingerprints that the
tests expect of the cartridge images they build (RomImages::CartridgeImage):
a pseudo-random body from a linear congruential generator under a full
header with the right checksum, and the same cartridge as an SMD, MD and
byteswapped file. The tests hold the printed values as literals.

Usage: tests/data/cartridge_expectations.py SIZE SEED [SIZE SEED ...]
"""
import hashlib
import struct
import sys
import zlib


def cartridge(size, seed):
    x = seed & 0xFFFFFFFF
    body = bytearray(size)
    for i in range(size):
        x = (1103515245 * x + 12345) & 0xFFFFFFFF
        body[i] = x >> 24

    def put(at, text, length):
        body[at:at + length] = text.ljust(length, b" ")[:length]

    put(0x100, b"SEGA MEGA DRIVE", 16)
    put(0x110, b"(C)KSTX 2026.DEC", 16)
    put(0x120, b"KESTRIX TEST CART", 48)
    put(0x150, b"KESTRIX \x01TEST CART", 48)
    put(0x180, b"GM 00001234-00", 14)
    put(0x190, b"J6", 16)
    put(0x1F0, b"JUE", 3)
    body[0x1A0:0x1A4] = struct.pack(">I", 0)
    body[0x1A4:0x1A8] = struct.pack(">I", size - 1)
    words = struct.unpack(">%dH" % ((size - 0x200) // 2), bytes(body[0x200:size - size % 2]))
    body[0x18E:0x190] = struct.pack(">H", sum(words) & 0xFFFF)
    return bytes(body)


def smd(plain):
    blocks = len(plain) // 16384
    header = bytearray(512)
    header[0] = blocks if blocks <= 255 else 0
    header[1] = 3
    header[8] = 0xAA
    header[9] = 0xBB
    header[10] = 6
    out = bytearray(header)
    for b in range(blocks):
        block = plain[b * 16384:(b + 1) * 16384]
        out += block[1::2] + block[0::2]
    return bytes(out)


def md(plain):
    return plain[1::2] + plain[0::2]


def byteswapped(plain):
    out = bytearray(plain)
    out[0::2], out[1::2] = plain[1::2], plain[0::2]
    return bytes(out)


for size, seed in zip(*[iter(map(int, sys.argv[1:]))] * 2):
    plain = cartridge(size, seed)
    print("size %d, seed %d" % (size, seed))
    print("  checksum 0x%04X" % struct.unpack(">H", plain[0x18E:0x190]))
    print("  crc32 %08x" % zlib.crc32(plain))
    print("  md5   %s" % hashlib.md5(plain).hexdigest())
    for name, data in (("plain", plain), ("smd", smd(plain)), ("md", md(plain)),
                       ("byteswapped", byteswapped(plain))):
        print("  sha1 of the %-11s file %s" % (name, hashlib.sha1(data).hexdigest()))
