#!/usr/bin/env bash
# Sizes and times of `kestrix-convert make-patch` BPS patches: a hack that
# changes 300 bytes of a 1 MiB image (in 30 runs of 10, and as 300 single
# bytes apart), 16 bytes inserted at 256 KiB of a 1 MiB image (all after
# shifted), and a translation-like edit of a 4 MiB image (3 % of it changed
# in runs of 8 to 64 bytes), its size beside the VCDIFF `xdelta3 -S none`
# makes of the same pair; the time (median of five whole runs, warm cache)
# and peak memory of making the 4 MiB one.
# Usage: bench/make-patch.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
kx=$build/bin/kestrix-convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/timing.sh"
python3 - "$work" <<'PY'
import random, sys
work = sys.argv[1]
r = random.Random(1)
def put(name, b):
    open(f"{work}/{name}", "wb").write(bytes(b))
one = bytearray(r.randbytes(1 << 20))
put("one.bin", one)
runs = bytearray(one)
for k in range(30):
    at = r.randrange(0x200, len(one) - 10)
    runs[at:at + 10] = r.randbytes(10)
put("runs.bin", runs)
scattered = bytearray(one)
for at in r.sample(range(0x200, len(one)), 300):
    scattered[at] ^= 0xA5
put("scattered.bin", scattered)
put("inserted.bin", one[:256 << 10] + b"SIXTEEN BYTES IN" + one[256 << 10:])
four = bytearray(r.randbytes(4 << 20))
put("four.bin", four)
changed, target = 0, bytearray(four)
while changed < len(four) * 3 // 100:
    n = r.randrange(8, 65)
    at = r.randrange(0, len(four) - n)
    target[at:at + n] = r.randbytes(n)
    changed += n
put("translated.bin", target)
PY
size() { stat -c %s "$1"; }
for pair in "one runs" "one scattered" "one inserted" "four translated"; do
    set -- $pair
    "$kx" make-patch --overwrite "$work/$1.bin" "$work/$2.bin" -o "$work/$2.bps" >/dev/null
    xdelta3 -e -f -S none -s "$work/$1.bin" "$work/$2.bin" "$work/$2.xdelta"
    echo "$2: BPS $(size "$work/$2.bps") bytes, xdelta3 -S none $(size "$work/$2.xdelta") bytes"
done
times=()
for _ in 1 2 3 4 5; do
    times+=("$(once "$kx" make-patch --overwrite "$work/four.bin" "$work/translated.bin" \
        -o "$work/t.bps")")
done
/usr/bin/time -f %M -o "$work/memory" "$kx" make-patch --overwrite "$work/four.bin" \
    "$work/translated.bin" -o "$work/t.bps" >/dev/null
echo "making the 4 MiB BPS: $(median "${times[@]}") s (runs: ${times[*]}), peak memory $(tail -1 "$work/memory") KiB"
