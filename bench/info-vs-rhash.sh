#!/usr/bin/env bash
# Times `kestrix-convert info` against `rhash --crc32 --md5 --sha1` on one
# 64 MiB image and on a library of 1000 images (256 KiB to 4 MiB, all four
# layouts), warm page cache, whole processes, best of five.
# Usage: bench/info-vs-rhash.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bin/make-rom-library" "$work/library" 1000
head -c 64M /dev/urandom >"$work/one.bin"
cat "$work"/library/rom* "$work/one.bin" >/dev/null
best() { # best of 5 wall-clock times of a command, in seconds
    local best=999 t
    for _ in 1 2 3 4 5; do
        /usr/bin/time -f %e -o "$work/.time" "$@" >/dev/null 2>&1 || true
        t=$(tail -1 "$work/.time")
        best=$(echo "$t $best" | awk '{print ($1 < $2) ? $1 : $2}')
    done
    echo "$best"
}
ratio() { echo "$1 $2" | awk '{printf "%.2f", $1 / $2}'; }
r1=$(best rhash --crc32 --md5 --sha1 "$work/one.bin")
k1=$(best "$build/bin/kestrix-convert" info "$work/one.bin")
cd "$work/library"
r=$(best rhash --crc32 --md5 --sha1 rom*)
k=$(best "$build/bin/kestrix-convert" info rom*)
echo "one 64 MiB image:  rhash $r1 s, kestrix-convert info $k1 s ($(ratio "$k1" "$r1") x rhash)"
echo "library: $(ls rom* | wc -l) files, $(du -sh . | cut -f1)"
echo "rhash --crc32 --md5 --sha1: $r s"
echo "kestrix-convert info:       $k s ($(ratio "$k" "$r") x rhash)"
