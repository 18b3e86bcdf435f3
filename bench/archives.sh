#!/usr/bin/env bash
# Times `kestrix-convert to-bin` over 200 single-image zips against `unzip`
# of the same zips followed by `to-bin` of the loose files, and `to-bin -r`
# over a tree of 1000 images in 10 folders; each into a new, empty folder,
# warm page cache, whole processes, five runs of each interleaved, median.
# Usage: bench/archives.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
kx=$build/bin/kestrix-convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/timing.sh"
"$build/bin/make-rom-library" "$work/library" 1000
mkdir "$work/zips" "$work/tree"
i=0
for f in "$work"/library/rom*; do
    if [ "$i" -lt 200 ]; then
        (cd "$work/library" && zip -q -j "$work/zips/$(basename "$f").zip" "$(basename "$f")")
    fi
    mkdir -p "$work/tree/folder$((i % 10))"
    cp "$f" "$work/tree/folder$((i % 10))/"
    i=$((i + 1))
done
cat "$work"/zips/* "$work"/tree/*/* >/dev/null
direct=() twostep=() tree=()
for _ in 1 2 3 4 5; do
    direct+=("$(once "$kx" to-bin -q -o "$work/out" "$work"/zips/*.zip)")
    twostep+=("$(once sh -c 'for z in "$1"/zips/*.zip; do unzip -q -o "$z" -d "$1/loose"; done &&
        "$2" to-bin -q -o "$1/out" "$1"/loose/*' sh "$work" "$kx")")
    tree+=("$(once "$kx" to-bin -q -r -o "$work/out" "$work/tree")")
done
d=$(median "${direct[@]}")
t=$(median "${twostep[@]}")
r=$(median "${tree[@]}")
echo "200 single-image zips ($(du -sh "$work/zips" | cut -f1)):"
echo "  unzip, then to-bin of the loose files: $t s   (runs: ${twostep[*]})"
echo "  to-bin of the zips:                    $d s   (runs: ${direct[*]}) = $(echo "$d $t" | awk '{printf "%.2f", $1 / $2}') x"
echo "to-bin -r over 1000 images in 10 folders ($(du -sh "$work/tree" | cut -f1)): $r s   (runs: ${tree[*]})"
