#!/usr/bin/env bash
# Times `kestrix-convert audit` of 10,000 files (32 KiB cartridge images,
# in turn plain, SMD, MD and byteswapped, in 10 folders, an hour old) against
# a DAT of about 50 MB (200,000 games, the 10,000 among them), beside
# `rhash --crc32 --sha1 -r` of the same files: a first audit (no cache of
# fingerprints and DATs), a second one (the caches the first made), the DAT
# alone (an audit of one file, without and with the cache of DATs) and
# `info --dat`; the peak memory of the audits, and
# the DAT's index against its size (kestrix-bench). Warm page cache, whole
# processes, three runs of each interleaved, median.
# Usage: bench/audit.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
kx=$build/bin/kestrix-convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/timing.sh"
python3 - "$work" <<'PY'
import hashlib, os, random, struct, sys, zlib
work = sys.argv[1]
random.seed(1)
def cart(i):
    b = bytearray(random.randbytes(32768))
    b[0x100:0x110] = b"SEGA MEGA DRIVE ".ljust(16)
    struct.pack_into(">II", b, 0x1A0, 0, len(b) - 1)
    s = sum(struct.unpack(">%dH" % ((len(b) - 0x200) // 2), bytes(b[0x200:]))) & 0xFFFF
    struct.pack_into(">H", b, 0x18E, s)
    return bytes(b)
def layout(b, k):
    if k == 1:
        h = bytearray(512); h[0] = 2; h[1] = 3; h[8] = 0xAA; h[9] = 0xBB; h[10] = 6
        return bytes(h) + b"".join(b[o + 1:o + 16384:2] + b[o:o + 16384:2] for o in range(0, len(b), 16384))
    if k == 2:
        return b[1::2] + b[0::2]
    if k == 3:
        return b"".join(bytes((b[o + 1], b[o])) for o in range(0, len(b), 2))
    return b
ext = [".bin", ".smd", ".md", ".bin"]
games = []
for i in range(10000):
    b = cart(i)
    d = os.path.join(work, "lib", "folder%d" % (i % 10))
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "rom%05d%s" % (i, ext[i % 4])), "wb") as f:
        f.write(layout(b, i % 4))
    games.append((len(b), zlib.crc32(b), hashlib.sha1(b).hexdigest()))
with open(os.path.join(work, "big.dat"), "w") as f:
    f.write('<?xml version="1.0"?>\n<datafile>\n<header><name>Bench</name></header>\n')
    for g in range(200000):
        if g % 20 == 0 and g // 20 < len(games):
            size, crc, sha = games[g // 20]
        else:
            size, crc, sha = 32768, random.getrandbits(32), random.randbytes(20).hex()
        f.write('\t<game name="Game %06d (World)">\n\t\t<description>Game %06d (World)</description>\n'
                '\t\t<rom name="Game %06d (World).bin" size="%d" crc="%08x" md5="%s" sha1="%s"/>\n\t</game>\n'
                % (g, g, g, size, crc, random.randbytes(16).hex(), sha))
    f.write("</datafile>\n")
PY
find "$work/lib" -type f | sort >"$work/list"
head -1000 "$work/list" >"$work/list1000"
touch -d '-1 hour' "$work"/lib/*/*
cat "$work/lib"/*/* "$work/big.dat" >/dev/null
command -v rhash >/dev/null || { echo "rhash is needed: apt-get install rhash" >&2; exit 1; }
export XDG_CACHE_HOME=$work/cache
# The first audit: with the cache emptied first.
printf '#!/bin/sh\nrm -rf "$XDG_CACHE_HOME"\nexec "%s" audit -q --dat "%s" -r "%s"\n' "$kx" \
    "$work/big.dat" "$work/lib" >"$work/first"
chmod +x "$work/first"
first=$work/first
rhash=() audit=() again=() dat=() datCached=() info=() window=()
for _ in 1 2 3; do
    rhash+=("$(once rhash --crc32 --sha1 -r "$work/lib")")
    audit+=("$(once "$first")")
    again+=("$(once "$kx" audit -q --dat "$work/big.dat" -r "$work/lib")")
    dat+=("$(once "$kx" audit -q --no-cache --dat "$work/big.dat" "$work/lib/folder0/rom00000.bin")")
    datCached+=("$(once "$kx" audit -q --dat "$work/big.dat" "$work/lib/folder0/rom00000.bin")")
    info+=("$(once "$kx" info --dat "$work/big.dat" --files-from "$work/list")")
    rm -rf "$XDG_CACHE_HOME"
    window+=("$(once "$build/bin/window-audit" "$work/big.dat" "$work/lib")")
done
peak() {
    /usr/bin/time -f %M -o "$work/memory" "$@" >/dev/null 2>&1 || true
    tail -1 "$work/memory"
}
rm -rf "$XDG_CACHE_HOME"
m1=$(peak "$kx" audit -q --no-cache --dat "$work/big.dat" --files-from "$work/list1000")
m10=$(peak "$first")
mAgain=$(peak "$kx" audit -q --dat "$work/big.dat" -r "$work/lib")
"$kx" audit --dat "$work/big.dat" -r "$work/lib" 2>&1 >"$work/cached" | grep 'from the cache' >"$work/count" || true
"$kx" audit --no-cache --dat "$work/big.dat" -r "$work/lib" 2>/dev/null >"$work/uncached" || true
same=$(cmp -s "$work/cached" "$work/uncached" && echo "the same as --no-cache" || echo "NOT the same as --no-cache")
rm -rf "$XDG_CACHE_HOME"
mw=$(peak "$build/bin/window-audit" "$work/big.dat" "$work/lib")
rm -rf "$XDG_CACHE_HOME"
"$build/bin/window-audit" "$work/big.dat" "$work/lib" | head -1 >"$work/loop"
index=$(KESTRIX_BENCH_DAT=$work/big.dat "$build/bin/kestrix-bench" --benchmark_filter=DatIndex 2>/dev/null | grep -o 'bytes_per_second=[^ ]* dat_MB=[^ ]* index_MB=[^ ]* index_share=[^ ]*')
r=$(median "${rhash[@]}") a=$(median "${audit[@]}") g=$(median "${again[@]}") d=$(median "${dat[@]}")
dc=$(median "${datCached[@]}")
i=$(median "${info[@]}") w=$(median "${window[@]}")
echo "10,000 files of 32 KiB ($(du -sh "$work/lib" | cut -f1)), DAT of $(du -m "$work/big.dat" | cut -f1) MB (200,000 games), load $(cut -d' ' -f1 /proc/loadavg):"
echo "  rhash --crc32 --sha1 -r: $r s   (runs: ${rhash[*]})"
echo "  audit, first:  $a s   (runs: ${audit[*]}); target under 1.5 x rhash + 0.5 s = $(echo "$r" | awk '{printf "%.2f", 1.5 * $1 + 0.5}') s"
echo "  audit, second: $g s   (runs: ${again[*]}); target under 1 s; $(cat "$work/count" | sed 's/^kestrix-convert: audit: //'), output $same"
echo "  the DAT alone: $d s   (runs: ${dat[*]}); target under 0.5 s; from the cache of DATs: $dc s   (runs: ${datCached[*]})"
echo "  info --dat:    $i s   (runs: ${info[*]})"
echo "  peak memory: $m1 KiB for 1,000 files, $m10 KiB for 10,000 (first), $mAgain KiB (second); target under 65536 KiB"
echo "  the DAT's index: $index"
echo "  the audit window's run: $w s   (runs: ${window[*]}), peak memory $mw KiB"
echo "  the audit window's loop: $(cat "$work/loop")"
