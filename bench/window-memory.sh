#!/usr/bin/env bash
# Peak memory (maximum resident set) and wall time of converting one 1 GiB
# image as the conversion window's run does, each way between the plain
# layout and the SMD and MD ones; one run each, whole processes, warm cache.
# Usage: bench/window-memory.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 1073741824 /dev/urandom >"$work/big.bin"
measure() {
    /usr/bin/time -f "%e s, %M KiB" -o "$work/time" "$build/bin/window-convert" "$@"
    tail -1 "$work/time"
}
echo "plain to smd, 1 GiB: $(measure plain smd "$work/big.bin" "$work/big.smd")"
echo "smd to plain, 1 GiB: $(measure smd plain "$work/big.smd" "$work/back.bin")"
echo "plain to md, 1 GiB: $(measure plain md "$work/big.bin" "$work/big.md")"
echo "md to plain, 1 GiB: $(measure md plain "$work/big.md" "$work/back2.bin")"
cmp "$work/big.bin" "$work/back.bin" && cmp "$work/big.bin" "$work/back2.bin"
