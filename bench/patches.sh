#!/usr/bin/env bash
# Times `kestrix-convert patch`: a 4 MiB image with a BPS patch of about
# 1 MiB, and 200 SMD images of 1 MiB each patched by an IPS patch of its own
# (one run of the program each, as a user patches them), against `cp` of the
# same images; each into a new, empty folder, warm page cache, whole
# processes, five runs of each interleaved, median; and the peak memory of
# the BPS run.
# Usage: bench/patches.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
kx=$build/bin/kestrix-convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/timing.sh"
"$build/bin/make-patches" "$work/p" 200
cat "$work"/p/* >/dev/null
bps=() bpscp=() ips=() ipscp=() ipssync=()
for _ in 1 2 3 4 5; do
    # Twenty in a row: one alone takes less than the timer tells.
    bps+=("$(once sh -c 'for i in $(seq 20); do "$2" patch -q --overwrite -p "$1/p/big.bps" \
        -o "$1/out" "$1/p/big.bin" || exit 1; done' sh "$work" "$kx")")
    bpscp+=("$(once sh -c 'for i in $(seq 20); do cp "$1/p/big.bin" "$1/out/" || exit 1; done' \
        sh "$work")")
    # The writer puts each file on disk before it names it: so does sync.
    ipssync+=("$(once sh -c 'for i in "$1"/p/image*.smd; do
        cp "$i" "$1/out/" && sync "$1/out/$(basename "$i")" || exit 1; done' sh "$work")")
    ipscp+=("$(once sh -c 'for i in "$1"/p/image*.smd; do
        cp "$i" "$1/out/" || exit 1; done' sh "$work")")
    ips+=("$(once sh -c 'for i in "$1"/p/image*.smd; do
        "$2" patch -q -p "${i%.smd}.ips" -o "$1/out" "$i" || exit 1; done' \
        sh "$work" "$kx")")
done
# The last IPS run's results, then the BPS run's memory.
[ "$(ls "$work/out" | wc -l)" -eq 200 ] || { echo "not every image was written"; exit 1; }
rm -rf "$work/out" && mkdir "$work/out"
/usr/bin/time -f "%M" -o "$work/memory" "$kx" patch -q -p "$work/p/big.bps" -o "$work/out" \
    "$work/p/big.bin"
cmp -s "$work/out/big.bin" "$work/p/big.bin" && echo "the patched image is the source" && exit 1
ratio() { echo "$1 $2" | awk '{printf "%.2f", $1 / $2}'; }
b=$(median "${bps[@]}") bc=$(median "${bpscp[@]}") i=$(median "${ips[@]}") ic=$(median "${ipscp[@]}")
is=$(median "${ipssync[@]}")
echo "4 MiB image, BPS patch of $(du -k "$work/p/big.bps" | cut -f1) KiB, twenty runs in a row:"
echo "  cp:    $bc s   (runs: ${bpscp[*]})"
echo "  patch: $b s   (runs: ${bps[*]}) = $(ratio "$b" "$bc") x; peak memory $(tail -1 "$work/memory") KiB"
echo "200 SMD images of 1 MiB, an IPS patch each, one run each:"
echo "  cp:        $ic s   (runs: ${ipscp[*]})"
echo "  cp + sync: $is s   (runs: ${ipssync[*]})"
echo "  patch:     $i s   (runs: ${ips[*]}) = $(ratio "$i" "$ic") x cp, $(ratio "$i" "$is") x cp + sync"
