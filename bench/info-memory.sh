#!/usr/bin/env bash
# Peak memory (maximum resident set) and wall time of `kestrix-convert info`
# on inputs that once made it grow: 100,000 entries as JSON, a 200 MB DAT
# file, and four archives each holding 1 GiB with 16 files inspected at once
# (as on a machine of 16 cores). One run each, whole processes.
# Usage: bench/info-memory.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
kx=$build/bin/kestrix-convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
python3 - <<'PY'
import gzip, hashlib, os, zipfile
# 100,000 entries of 512 bytes each, stored.
with zipfile.ZipFile("many.zip", "w", zipfile.ZIP_STORED) as z:
    for i in range(100000):
        z.writestr("rom%06d.bin" % i, os.urandom(512))
# A DAT of 200 MB: one game a line, each with a ROM of every fingerprint.
with open("big.dat", "w") as dat:
    dat.write('<?xml version="1.0"?>\n<datafile>\n')
    written, i = 0, 0
    while written < 200 * 1000 * 1000:
        h = hashlib.sha1(str(i).encode()).hexdigest()
        line = ('<game name="Game %07d (World)"><description>Game %07d (World)</description>'
                '<rom name="Game %07d (World).md" size="1048576" crc="%s" md5="%s" sha1="%s"/>'
                '</game>\n') % (i, i, i, h[:8], hashlib.md5(h.encode()).hexdigest(), h)
        dat.write(line)
        written += len(line)
        i += 1
    dat.write("</datafile>\n")
# Four archives of 1 GiB of zeros each.
zeros = bytes(1 << 20)
for name in "abcd":
    with gzip.open(name + ".smd.gz", "wb", compresslevel=1) as g:
        for _ in range(1024):
            g.write(zeros)
open("small.bin", "wb").write(os.urandom(65536))
PY
measure() {
    /usr/bin/time -f "%e s, %M KiB" -o time "$@" >/dev/null 2>&1 || true
    tail -1 time
}
echo "info --json, 100,000 entries: $(measure "$kx" info --json many.zip)"
echo "info --dat, a DAT of $(($(stat -c %s big.dat) / 1000000)) MB: $(measure "$kx" info --dat big.dat small.bin)"
echo "info -j 16, four 1 GiB entries: $(measure "$kx" info -j 16 a.smd.gz b.smd.gz c.smd.gz d.smd.gz)"
