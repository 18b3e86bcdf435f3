#!/usr/bin/env bash
# Times `kestrix-convert export` of 2,000 cartridge images (512 KiB each, in
# turn plain, SMD, MD and byteswapped; a tenth of them 32X games) against
# the conversion of the same files to plain images (`to-bin`), which writes
# the same bytes: the MiSTer profile (one pass), the Pocket's (letter
# folders: a counting pass first), RetroArch's (zipped) against `to-bin
# --zip`, and with a DAT naming them against `to-bin --dat-names`. Warm page
# cache, whole processes, three runs of each interleaved, median.
# Usage: bench/export.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
kx=$build/bin/kestrix-convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/timing.sh"
python3 - "$work" <<'PY'
import hashlib, os, random, struct, sys, zlib
work = sys.argv[1]
random.seed(2)
def cart(i):
    b = bytearray(random.randbytes(512 * 1024))
    system = b"SEGA 32X" if i % 10 == 9 else b"SEGA MEGA DRIVE"
    b[0x100:0x110] = system.ljust(16)
    b[0x1F0:0x1F3] = [b"U  ", b"E  ", b"J  ", b"JUE"][i % 4]
    struct.pack_into(">II", b, 0x1A0, 0, len(b) - 1)
    s = sum(struct.unpack(">%dH" % ((len(b) - 0x200) // 2), bytes(b[0x200:]))) & 0xFFFF
    struct.pack_into(">H", b, 0x18E, s)
    return bytes(b)
def layout(b, k):
    if k == 1:
        h = bytearray(512); h[0] = len(b) // 16384; h[1] = 3; h[8] = 0xAA; h[9] = 0xBB; h[10] = 6
        return bytes(h) + b"".join(b[o + 1:o + 16384:2] + b[o:o + 16384:2] for o in range(0, len(b), 16384))
    if k == 2:
        return b[1::2] + b[0::2]
    if k == 3:
        s = bytearray(len(b)); s[0::2] = b[1::2]; s[1::2] = b[0::2]
        return bytes(s)
    return b
ext = [".bin", ".smd", ".md", ".bin"]
os.makedirs(os.path.join(work, "lib"))
with open(os.path.join(work, "set.dat"), "w") as dat:
    dat.write('<?xml version="1.0"?>\n<datafile>\n<header><name>Bench</name></header>\n')
    for i in range(2000):
        b = cart(i)
        with open(os.path.join(work, "lib", "rom%04d%s" % (i, ext[i % 4])), "wb") as f:
            f.write(layout(b, i % 4))
        dat.write('\t<game name="Game %04d: Part &amp; Parcel (World)">\n\t\t<rom name="Game %04d.md" '
                  'size="%d" crc="%08x" sha1="%s"/>\n\t</game>\n'
                  % (i, i, len(b), zlib.crc32(b), hashlib.sha1(b).hexdigest()))
    dat.write("</datafile>\n")
PY
cat "$work/lib"/* >/dev/null
declare -A runs
names=(to-bin mister pocket to-bin-zip retroarch to-bin-dat mister-dat)
for _ in 1 2 3 4 5; do
    runs[to-bin]+="$(once "$kx" to-bin -q -o "$work/out" "$work/lib"/*) "
    runs[mister]+="$(once "$kx" export -q --profile mister -o "$work/out" "$work/lib"/*) "
    runs[pocket]+="$(once "$kx" export -q --profile pocket -o "$work/out" "$work/lib"/*) "
    runs[to-bin-zip]+="$(once "$kx" to-bin -q --zip -o "$work/out" "$work/lib"/*) "
    runs[retroarch]+="$(once "$kx" export -q --profile retroarch -o "$work/out" "$work/lib"/*) "
    runs[to-bin-dat]+="$(once "$kx" to-bin -q --dat "$work/set.dat" --dat-names -o "$work/out" "$work/lib"/*) "
    runs[mister-dat]+="$(once "$kx" export -q --profile mister --dat "$work/set.dat" -o "$work/out" "$work/lib"/*) "
done
echo "2,000 images of 512 KiB ($(du -sh "$work/lib" | cut -f1)), $(nproc) cores:"
for name in "${names[@]}"; do
    # shellcheck disable=SC2086
    echo "  $name: $(median ${runs[$name]}) s   (runs: ${runs[$name]% })"
done
