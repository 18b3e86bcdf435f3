#!/usr/bin/env bash
# Times `kestrix-convert info` over a library of 1000 images (256 KiB to
# 4 MiB, all four layouts) against `rhash --crc32 --md5 --sha1` over the same
# files, warm page cache, as whole processes. Usage: bench/info-vs-rhash.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
library=$(mktemp -d)
trap 'rm -rf "$library"' EXIT
"$build/bin/make-rom-library" "$library" 1000
cd "$library"
cat rom* >/dev/null
best() { # best of 5 wall-clock times of a command, in seconds
    local best=999 t
    for _ in 1 2 3 4 5; do
        /usr/bin/time -f %e -o "$library/.time" "$@" >/dev/null 2>&1 || true
        t=$(tail -1 "$library/.time")
        best=$(echo "$t $best" | awk '{print ($1 < $2) ? $1 : $2}')
    done
    echo "$best"
}
r=$(best rhash --crc32 --md5 --sha1 rom*)
k=$(best "$OLDPWD/$build/bin/kestrix-convert" info rom*)
echo "library: $(ls rom* | wc -l) files, $(du -sh --exclude=.time . | cut -f1)"
echo "rhash --crc32 --md5 --sha1: $r s"
echo "kestrix-convert info:       $k s ($(echo "$k $r" | awk '{printf "%.2f", $1 / $2}') x rhash)"
