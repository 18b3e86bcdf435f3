#!/usr/bin/env python3
"""Builds the archives the command-line tests read, from one SMD image and
one plain image: every format, two images in one zip, and the broken and
hostile ones (a wrong CRC, names that climb out or are absolute, a link, an
encrypted entry, a decompression bomb), and images at the size limit.

Usage: tests/data/make_archives.py FOLDER GAME.smd OTHER.bin
       tests/data/make_archives.py --kinds FOLDER GAME.smd
(the second makes only the kinds of archive read, each holding game.smd)
"""
import gzip
import os
import struct
import subprocess
import sys
import zipfile
import zlib

kinds_only = sys.argv[1] == "--kinds"
folder, game = sys.argv[1 + kinds_only:3 + kinds_only]
smd = open(game, "rb").read()
os.chdir(folder)
os.makedirs("work", exist_ok=True)
open("work/game.smd", "wb").write(smd)


def zip_of(name, entries, method=zipfile.ZIP_DEFLATED):
    with zipfile.ZipFile(name, "w", method) as z:
        for entry, data in entries:
            z.writestr(zipfile.ZipInfo(entry) if isinstance(entry, str) else entry, data,
                       compress_type=method)


# A zip of one entry packed by a method Python's zipfile does not write:
# xz (95) and Zstandard (93), as RVZ and 7-Zip's forks write them.
def zip_packed(name, entry, method, command):
    packed = subprocess.run(command, input=smd, stdout=subprocess.PIPE, check=True).stdout
    crc = zlib.crc32(smd)
    n = entry.encode()
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 63, 0, method, 0, 0x21, crc, len(packed),
                        len(smd), len(n), 0) + n
    central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 63, 63, 0, method, 0, 0x21, crc,
                          len(packed), len(smd), len(n), 0, 0, 0, 0, 0, 0) + n
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central),
                      len(local) + len(packed), 0)
    open(name, "wb").write(local + packed + central + end)


# Every kind of archive read: zips by each method, 7z, and the compressors.
zip_of("one.zip", [("game.smd", smd)])
zip_of("bzip2.zip", [("game.smd", smd)], zipfile.ZIP_BZIP2)
zip_of("lzma.zip", [("game.smd", smd)], zipfile.ZIP_LZMA)
zip_packed("xz.zip", "game.smd", 95, ["xz", "-c"])
zip_packed("zstd.zip", "game.smd", 93, ["zstd", "-q", "-c"])
subprocess.run(["bsdtar", "--format", "7zip", "-cf", "one.7z", "-C", "work", "game.smd"],
               check=True)
for suffix, command in ((".gz", ["gzip", "-c"]), (".xz", ["xz", "-c"]), (".bz2", ["bzip2", "-c"]),
                        (".zst", ["zstd", "-q", "-c"])):
    with open("game.smd" + suffix, "wb") as out:
        subprocess.run(command, input=smd, stdout=out, check=True)
if kinds_only:
    sys.exit(0)
plain = open(sys.argv[3], "rb").read()
zip_of("two.zip", [("roms/game.smd", smd), ("other.bin", plain), ("readme.txt", b"hello")])
zip_of("dotdot.zip", [("../../up.smd", smd)])
zip_of("absolute.zip", [("/tmp/absolute.smd", smd)])
zip_of("control.zip", [("bell\x07.smd", smd)])
zip_of("del.zip", [("del\x7fesc\x1b.smd", smd)])
zip_of("GAME.ZIP", [("GAME.SMD", smd), ("README.TXT", b"hello")])
link = zipfile.ZipInfo("link.smd")
link.create_system = 3
link.external_attr = 0o120777 << 16
zip_of("link.zip", [(link, b"/etc/passwd"), ("game.smd", smd)])
# Stored, then one byte of the content changed: the CRC no longer matches.
zip_of("badcrc.zip", [("game.smd", smd)], zipfile.ZIP_STORED)
data = bytearray(open("badcrc.zip", "rb").read())
data[30 + len("game.smd") + 1000] ^= 0xFF
open("badcrc.zip", "wb").write(data)
open("corrupt.zip", "wb").write(b"PK\x03\x04" + os.urandom(200))
# The headers say 1000 bytes; the entry holds more (libarchive's message for
# it ends in a new line).
zip_of("wrongsize.zip", [("game.smd", smd)])
data = bytearray(open("wrongsize.zip", "rb").read())
data[22:26] = struct.pack("<I", 1000)
central = data.rfind(b"PK\x01\x02")
data[central + 24:central + 28] = struct.pack("<I", 1000)
open("wrongsize.zip", "wb").write(data)
# A damaged read-me beside the image: passed over unread, never noticed.
zip_of("badreadme.zip", [("game.smd", smd), ("readme.txt", b"hello " * 1000)],
       zipfile.ZIP_STORED)
data = bytearray(open("badreadme.zip", "rb").read())
data[data.rfind(b"hello hello")] ^= 0xFF
open("badreadme.zip", "wb").write(data)
# Misnamed: an image named as compressed, a zip named as bzip2, an image
# named as a zip.
open("loose.smd.gz", "wb").write(smd)
open("zipped.smd.bz2", "wb").write(open("one.zip", "rb").read())
open("image.zip", "wb").write(smd)
# An entry of one byte.
zip_of("onebyte.zip", [("one.smd", b"A")])

# Made on a system whose folders are separated by backslashes.
open("work/roms\\game.smd", "wb").write(smd)
subprocess.run(["bsdtar", "--format", "7zip", "-cf", "backslash.7z", "-C", "work",
                "roms\\game.smd"], check=True)
os.remove("work/roms\\game.smd")
subprocess.run(["bsdtar", "--format", "zip", "--options", "zip:encryption=zipcrypt",
                "--passphrase", "secret", "-cf", "encrypted.zip", "-C", "work", "game.smd"],
               check=True)
os.remove("work/game.smd")
os.rmdir("work")

# The largest image the limit accepts (an SMD image of 1 GiB of blocks and its
# 512-byte header), and one byte more: gzip members of zeros, read as one.
zeros = gzip.compress(bytes(64 << 20), compresslevel=1)
for name, tail in (("limit.smd.gz", 512), ("over.smd.gz", 513)):
    with open(name, "wb") as out:
        for _ in range(16):
            out.write(zeros)
        out.write(gzip.compress(bytes(tail)))

# A bomb: 64 gzip members of 64 MiB of zeros each, 4 GiB when read whole.
member = gzip.compress(bytes(64 << 20), compresslevel=1)
with open("bomb.smd.gz", "wb") as out:
    for _ in range(64):
        out.write(member)
