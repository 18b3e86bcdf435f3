#!/usr/bin/env bash
# Peak memory (maximum resident set) and wall time of kestrix-convert on a
# 1 GiB image that has no file of its own, or is written as a zip: an entry
# of a zip converted to SMD, standard input converted to standard output,
# and a file written with --zip; one run each, whole processes, warm cache;
# each result compared with the same conversion of the loose file.
# Usage: bench/stream-memory.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
kx=$build/bin/kestrix-convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
head -c 1073741824 /dev/urandom >big.bin
python3 -c "import zipfile; z = zipfile.ZipFile('in.zip', 'w', zipfile.ZIP_DEFLATED, compresslevel=1); z.write('big.bin', 'game.bin'); z.close()"
mkdir loose entry zipped
"$kx" bin2smd --force -q big.bin -o loose
measure() {
    local what=$1
    shift
    /usr/bin/time -f "%e s, %M KiB" -o time "$@"
    echo "$what: $(tail -1 time)"
}
measure "zip entry, bin2smd" "$kx" bin2smd --force -q in.zip -o entry
cat big.bin | /usr/bin/time -f "%e s, %M KiB" -o time "$kx" bin2smd --force -q - -o - >stdout.smd
echo "standard input to standard output, bin2smd: $(tail -1 time)"
measure "--zip, bin2smd" "$kx" bin2smd --force -q --zip big.bin -o zipped
cmp loose/big.smd entry/game.smd
cmp loose/big.smd stdout.smd
unzip -p zipped/big.zip | cmp - loose/big.smd
