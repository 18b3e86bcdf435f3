#!/usr/bin/env bash
# Times `kestrix-convert to-smd` over a library of 200 images (256 KiB to
# 4 MiB, real headers, all four layouts) into a new, empty folder against
# `cp` of the same files followed by `sync`, warm page cache, on the file
# system of the temporary folder. Both leave every file on disk: kestrix-
# convert reports a file only once it and its name are flushed.
# Usage: bench/convert-vs-cp.sh BUILD_DIR [COUNT]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
count=${2:-200}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/timing.sh"
"$build/bin/make-rom-library" "$work/library" "$count"
cd "$work/library"
cat rom* >/dev/null
sync
kx=() cp=()
for _ in 1 2 3 4 5 6 7; do # interleaved, so that a slow spell of the disk hits both
    kx+=("$(once "$build/bin/kestrix-convert" to-smd -o "$work/out" rom*)")
    cp+=("$(once sh -c 'cp rom* "$0" && sync' "$work/out")")
done
k=$(median "${kx[@]}")
c=$(median "${cp[@]}")
echo "library: $count files, $(du -sh . | cut -f1), on $(df -T . | awk 'NR==2 {print $2}')"
echo "cp + sync:              $c s   (runs: ${cp[*]})"
echo "kestrix-convert to-smd: $k s   (runs: ${kx[*]}) = $(echo "$k $c" | awk '{printf "%.2f", $1 / $2}') x cp + sync"
