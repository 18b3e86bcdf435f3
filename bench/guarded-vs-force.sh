#!/usr/bin/env bash
# Times a guarded conversion (bin2smd looks at every source first) against
# the same conversion with --force, over 200 plain images of 256 KiB to 4 MiB
# with real headers, into a new, empty folder each run; warm page cache,
# whole processes, seven runs of each interleaved, median.
# Usage: bench/guarded-vs-force.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/timing.sh"
# Every fourth image of the generator is plain; 800 give 200 of them.
"$build/bin/make-rom-library" "$work/all" 800
mkdir "$work/library"
i=0
for f in "$work"/all/rom*; do
    [ $((i % 4)) -eq 0 ] && mv "$f" "$work/library/"
    i=$((i + 1))
done
rm -rf "$work/all"
cd "$work/library"
cat rom* >/dev/null
guarded=() forced=()
for _ in 1 2 3 4 5 6 7; do
    guarded+=("$(once "$build/bin/kestrix-convert" bin2smd -o "$work/out" rom*)")
    forced+=("$(once "$build/bin/kestrix-convert" bin2smd --force -o "$work/out" rom*)")
done
g=$(median "${guarded[@]}")
f=$(median "${forced[@]}")
echo "library: $(ls rom* | wc -l) plain images, $(du -sh . | cut -f1)"
echo "bin2smd --force: $f s   (runs: ${forced[*]})"
echo "bin2smd guarded: $g s   (runs: ${guarded[*]}) = $(echo "$g $f" | awk '{printf "%.2f", $1 / $2}') x --force"
